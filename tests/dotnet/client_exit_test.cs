// A short program that logs and ends: what it could not deliver is reported on standard error,
// once, with how many lines and where to; what it could deliver arrives, also at exit.
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Linq;
using System.Reflection;

namespace Zel.Tests
{
    static class ClientExit
    {
        // The short program: `--child PORT STEP...`. Steps: sN sends N lines, c closes the
        // client, wTEXT and lTEXT are Trace.Write and Trace.WriteLine through a ZelTraceListener,
        // and kMS, first, sets how long the close at exit waits (a loaded machine may take longer than the default to connect).
        public static int Child(string[] args)
        {
            int port = int.Parse(args[0]);
            ZelLogClient client = null;
            var options = new ZelLogClientOptions();
            int sent = 0;
            foreach (string step in args.Skip(1)) {
                char what = step[0];
                string rest = step.Substring(1);
                if (what == 'k') {
                    options.CloseFlush = TimeSpan.FromMilliseconds(int.Parse(rest));
                    continue;
                }
                if (what == 'w' || what == 'l') {
                    if (Trace.Listeners.OfType<ZelTraceListener>().FirstOrDefault() == null)
                        Trace.Listeners.Add(new ZelTraceListener("127.0.0.1", port, options));
                    if (what == 'w')
                        Trace.Write(rest);
                    else
                        Trace.WriteLine(rest);
                    continue;
                }
                client = client ?? new ZelLogClient("127.0.0.1", port, options);
                if (what == 's')
                    for (int n = int.Parse(rest); n > 0; --n)
                        client.Send("child " + sent++ + "\r\n");
                else if (what == 'c')
                    client.Close();
            }
            return 0;
        }

        sealed class Row
        {
            public string Name;
            public bool Listening;
            public string Steps;
            public string[] Stderr; // {0} stands for 127.0.0.1:PORT
            public string[] Frames;
        }

        public static IEnumerable<Case> Cases()
        {
            const string lines = "ZelLogClient: {1} lines not delivered to {0}";
            var table = new[] {
                new Row { Name = "SentAfterClose", Steps = "s2 c s2", Stderr = new[] {
                              lines.Replace("{1}", "2"), "ZelLogClient: lines sent after Close are not delivered to {0}" } },
                new Row { Name = "AbsentTraceLines", Steps = "lone wtw wo", Stderr = new[] { lines.Replace("{1}", "2") } },
                new Row { Name = "ListeningTraceTailAtExit", Listening = true, Steps = "k60000 lone wtail",
                          Frames = new[] { "one\r\n", "tail\r\n" } },
            };
            foreach (Row row in table)
                yield return new Case(row.Name, () => Run(row));
        }

        static void Run(Row row)
        {
            FrameReceiver receiver = row.Listening ? new FrameReceiver() : null;
            try {
                int port = receiver != null ? receiver.Port : FrameReceiver.FreePort();
                string self = Assembly.GetExecutingAssembly().Location;
                var start = new ProcessStartInfo("mono", "\"" + self + "\" --child " + port + " " + row.Steps) {
                    UseShellExecute = false,
                    RedirectStandardOutput = true,
                    RedirectStandardError = true,
                };
                string stdout, stderr;
                using (Process child = Process.Start(start)) {
                    var errors = child.StandardError.ReadToEndAsync();
                    stdout = child.StandardOutput.ReadToEnd();
                    stderr = errors.Result;
                    Check.True(child.WaitForExit(60000), "the program ends");
                    Check.Equal(0, child.ExitCode, "exit code; stderr: " + stderr);
                }
                string where = "127.0.0.1:" + port;
                Check.Sequence((row.Stderr ?? new string[0]).Select(s => s.Replace("{0}", where)).ToList(),
                               stderr.Split(new[] { '\n' }, StringSplitOptions.RemoveEmptyEntries).ToList(), "stderr");
                Check.Equal("", stdout, "stdout");
                if (receiver != null) {
                    receiver.WaitForFrames(row.Frames.Length, 10000);
                    Check.Sequence(row.Frames, receiver.Texts(), "frames");
                }
            } finally {
                if (receiver != null)
                    receiver.Dispose();
            }
        }
    }
}
