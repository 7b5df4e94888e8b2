// ZelTraceListener: Write waits for the rest of its line, every line goes as one frame ending
// in CR LF, indentation and the trace methods' own headers come through, and Trace and Debug
// reach it once it is in Trace.Listeners.
using System;
using System.Collections.Generic;
using System.Diagnostics;

namespace Zel.Tests
{
    static class TraceListenerTests
    {
        public static IEnumerable<Case> Cases()
        {
            var table = new[] {
                new { Name = "WriteLine", Act = (Action<ZelTraceListener>)(l => l.WriteLine("one")),
                      Frames = new[] { "one\r\n" } },
                new { Name = "WritesWaitForTheirLine", Act = (Action<ZelTraceListener>)(l => {
                          l.Write("a");
                          l.Write("b");
                          l.WriteLine("c");
                      }),
                      Frames = new[] { "abc\r\n" } },
                new { Name = "LoneLineFeedsBecomeCrLf", Act = (Action<ZelTraceListener>)(l => l.WriteLine("x\ny\n\nz")),
                      Frames = new[] { "x\r\n", "y\r\n", "\r\n", "z\r\n" } },
                new { Name = "CrLfInsideAWrite", Act = (Action<ZelTraceListener>)(l => {
                          l.Write("a\r\nb");
                          l.WriteLine("c\r\n");
                      }),
                      Frames = new[] { "a\r\n", "bc\r\n", "\r\n" } },
                new { Name = "EmptyAndNull", Act = (Action<ZelTraceListener>)(l => {
                          l.WriteLine("");
                          l.WriteLine((string)null);
                          l.Write((string)null);
                          l.WriteLine("n");
                      }),
                      Frames = new[] { "\r\n", "\r\n", "n\r\n" } },
                new { Name = "FlushKeepsAnUnfinishedLine", Act = (Action<ZelTraceListener>)(l => {
                          l.Write("a");
                          l.Flush();
                          l.WriteLine("b");
                      }),
                      Frames = new[] { "ab\r\n" } },
                new { Name = "CloseSendsAnUnfinishedLine", Act = (Action<ZelTraceListener>)(l => {
                          l.WriteLine("first");
                          l.Write("tail");
                          l.Close();
                      }),
                      Frames = new[] { "first\r\n", "tail\r\n" } },
                new { Name = "Indentation", Act = (Action<ZelTraceListener>)(l => {
                          l.IndentSize = 2;
                          l.IndentLevel = 2;
                          l.WriteLine("x");
                          l.Write("y");
                          l.WriteLine("z");
                          l.IndentLevel = 0;
                          l.WriteLine("w");
                      }),
                      Frames = new[] { "    x\r\n", "    yz\r\n", "w\r\n" } },
                new { Name = "Chinese", Act = (Action<ZelTraceListener>)(l => l.WriteLine("订单服务已启动")),
                      Frames = new[] { "订单服务已启动\r\n" } },
                new { Name = "TraceEventHeader", Act = (Action<ZelTraceListener>)(l =>
                          l.TraceEvent(new TraceEventCache(), "orders", TraceEventType.Warning, 7, "disk low")),
                      Frames = new[] { "orders Warning: 7 : disk low\r\n" } },
                new { Name = "ThroughTraceAndDebug", Act = (Action<ZelTraceListener>)(l => {
                          Trace.Listeners.Add(l);
                          try {
                              Trace.WriteLine("trace");
                              Debug.WriteLine("debug");
                              Trace.Indent();
                              Trace.Write("in");
                              Debug.Write("dented");
                              Trace.WriteLine("");
                              Trace.Unindent();
                              Trace.WriteLine("category", "cat");
                          } finally {
                              Trace.Listeners.Remove(l);
                          }
                      }),
                      Frames = new[] { "trace\r\n", "debug\r\n", "    indented\r\n", "cat: category\r\n" } },
            };
            foreach (var row in table)
                yield return new Case(row.Name, () => {
                    using (var receiver = new FrameReceiver())
                    using (var listener = new ZelTraceListener("127.0.0.1", receiver.Port, ClientTests.FastRetry())) {
                        row.Act(listener);
                        var expected = new List<string>(row.Frames);
                        // A last line of known text: once it is in, everything before it is. After
                        // Close, Close itself has handed everything over.
                        if (!row.Name.StartsWith("Close")) {
                            listener.Client.Send("end\r\n");
                            expected.Add("end\r\n");
                            Check.True(listener.Client.Flush(TimeSpan.FromSeconds(60)), "Flush");
                        }
                        Check.True(receiver.WaitForFrames(expected.Count), "frames arrive");
                        Check.Sequence(expected, receiver.Texts(), "frames");
                    }
                });
        }
    }
}
