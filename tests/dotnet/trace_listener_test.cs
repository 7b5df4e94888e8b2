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
            return new[] {
                Listening("WriteLine", l => l.WriteLine("one"), "one\r\n"),
                Listening("WritesWaitForTheirLine", l => {
                    l.Write("a");
                    l.Write("b");
                    l.WriteLine("c");
                }, "abc\r\n"),
                Listening("LoneLineFeedsBecomeCrLf", l => l.WriteLine("x\ny\n\nz"), "x\r\n", "y\r\n", "\r\n", "z\r\n"),
                Listening("CrLfInsideAWrite", l => {
                    l.Write("a\r\nb");
                    l.WriteLine("c\r\n");
                }, "a\r\n", "bc\r\n", "\r\n"),
                Listening("EmptyAndNull", l => {
                    l.WriteLine("");
                    l.WriteLine((string)null);
                    l.Write((string)null);
                    l.WriteLine("n");
                }, "\r\n", "\r\n", "n\r\n"),
                Listening("FlushKeepsAnUnfinishedLine", l => {
                    l.Write("a");
                    l.Flush();
                    l.WriteLine("b");
                }, "ab\r\n"),
                Listening("CloseSendsAnUnfinishedLine", l => {
                    l.WriteLine("first");
                    l.Write("tail");
                    l.Close();
                }, "first\r\n", "tail\r\n"),
                Listening("Indentation", l => {
                    l.IndentSize = 2;
                    l.IndentLevel = 2;
                    l.WriteLine("x");
                    l.Write("y");
                    l.WriteLine("z");
                    l.IndentLevel = 0;
                    l.WriteLine("w");
                }, "    x\r\n", "    yz\r\n", "w\r\n"),
                Listening("Chinese", l => l.WriteLine("订单服务已启动"), "订单服务已启动\r\n"),
                Listening("TraceEventHeader",
                          l => l.TraceEvent(new TraceEventCache(), "orders", TraceEventType.Warning, 7, "disk low"),
                          "orders Warning: 7 : disk low\r\n"),
                Listening("ThroughTraceAndDebug", l => {
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
                }, "trace\r\n", "debug\r\n", "    indented\r\n", "cat: category\r\n"),
            };
        }

        // A case: `act` writes through a listener, and `frames` must arrive from it.
        static Case Listening(string name, Action<ZelTraceListener> act, params string[] frames)
        {
            return new Case(name, () => {
                using (var receiver = new FrameReceiver())
                using (var listener = new ZelTraceListener("127.0.0.1", receiver.Port, ClientTests.FastRetry())) {
                    act(listener);
                    var expected = new List<string>(frames);
                    // A last line of known text: once it is in, everything before it is. After
                    // Close, Close itself has handed everything over.
                    if (!name.StartsWith("Close")) {
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
