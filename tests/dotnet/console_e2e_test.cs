// ZelLogClient logging into the real console under Wine, read back from its view: many threads
// at once, and a console that is closed and started again while the program goes on logging.
// ctest sets ZEL_CONSOLE_SESSION (testkit/console_session.cpp, the Windows build) and
// ZEL_WINE_RUN, and gives each group a port of its own for its console (ZEL_CONSOLE_PORT).
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Threading;

namespace Zel.Tests
{
    // The real console with its service started, held open by console_session until Finish.
    sealed class ConsoleSession : IDisposable
    {
        public const string Started = "日志服务启动成功，正在侦听...\r\n";
        // Where the console listens: the port ctest gave the test, else the fixed one.
        public static readonly int Port = int.Parse(Environment.GetEnvironmentVariable("ZEL_CONSOLE_PORT") ?? "11925");

        readonly string m_dir = Path.Combine(Path.GetTempPath(), "zel-dotnet-" + Guid.NewGuid().ToString("N"));
        readonly Process m_driver;

        public ConsoleSession()
        {
            string driver = Environment.GetEnvironmentVariable("ZEL_CONSOLE_SESSION");
            string wineRun = Environment.GetEnvironmentVariable("ZEL_WINE_RUN");
            Check.True(!string.IsNullOrEmpty(driver) && !string.IsNullOrEmpty(wineRun),
                       "needs ZEL_CONSOLE_SESSION and ZEL_WINE_RUN (ctest --preset windows sets them)");
            Directory.CreateDirectory(m_dir);
            string arguments = string.Join(" ", new[] { driver, Windows("ready"), Windows("done"), Windows("view") }
                                                    .Select(a => "\"" + a + "\""));
            m_driver = Process.Start(new ProcessStartInfo(wineRun, arguments) { UseShellExecute = false });
            var clock = Stopwatch.StartNew();
            while (!File.Exists(Path.Combine(m_dir, "ready"))) {
                Check.True(!m_driver.HasExited, "the console came up");
                Check.True(clock.Elapsed < TimeSpan.FromSeconds(120), "the console came up in time");
                Thread.Sleep(100);
            }
        }

        // A file of the session as the console's side names it.
        string Windows(string name)
        {
            return "Z:" + Path.Combine(m_dir, name).Replace('/', '\\');
        }

        // Closes the console once its view holds `length` UTF-16 units (or has stopped
        // growing), and returns the view's text.
        public string Finish(int length)
        {
            File.WriteAllText(Path.Combine(m_dir, "done"), length.ToString());
            Check.True(m_driver.WaitForExit(300000), "the console closes");
            Check.Equal(0, m_driver.ExitCode, "console_session's exit code");
            return File.ReadAllText(Path.Combine(m_dir, "view"), new System.Text.UTF8Encoding(false));
        }

        public void Dispose()
        {
            if (!m_driver.HasExited)
                m_driver.Kill();
            m_driver.Dispose();
            Directory.Delete(m_dir, true);
        }
    }

    static class ConsoleE2E
    {
        static readonly TimeSpan Long = TimeSpan.FromSeconds(120); // only keeps a broken build from hanging

        // Lines of varied length and script, so that a line cut or joined shows.
        static string Line(string tag, int thread, int i)
        {
            string detail = i % 7 == 0 ? "登录成功" : new string((char)('a' + i % 26), i % 41);
            return tag + thread + " " + i.ToString("D5") + " 用户 zhang.san " + detail + "\r\n";
        }

        // Checks that the view is the started line and then exactly the expected lines, each
        // thread's in its own order (threads interleave as they like).
        static void CheckView(string view, List<List<string>> expectedByThread, Func<string, int> threadOf)
        {
            Check.True(view.StartsWith(ConsoleSession.Started), "the view starts with the service's line");
            var next = new int[expectedByThread.Count];
            int at = ConsoleSession.Started.Length, shown = 0;
            while (at < view.Length) {
                int end = view.IndexOf("\r\n", at, StringComparison.Ordinal);
                Check.True(end >= 0, "the view ends with a whole line");
                string line = view.Substring(at, end + 2 - at);
                int t = threadOf(line);
                Check.True(t >= 0 && t < next.Length, "a line the program sent: " + line);
                Check.True(next[t] < expectedByThread[t].Count, "no more lines of thread " + t + ": " + line);
                Check.Equal(expectedByThread[t][next[t]], line, "line " + shown + " (thread " + t + "'s next)");
                ++next[t];
                ++shown;
                at = end + 2;
            }
            Check.Sequence(expectedByThread.Select(l => l.Count).ToList(), next, "lines shown per thread");
        }

        public static IEnumerable<Case> Threads()
        {
            yield return new Case("TwentyThousandLinesFromFourThreads", () => {
                const int threads = 4, lines = 5000;
                var expected = Enumerable.Range(0, threads)
                                   .Select(t => Enumerable.Range(0, lines).Select(i => Line("t", t, i)).ToList())
                                   .ToList();
                using (var console = new ConsoleSession()) {
                    string view;
                    using (var client = new ZelLogClient("127.0.0.1", ConsoleSession.Port)) {
                        var workers = expected.Select(mine => new Thread(() => mine.ForEach(client.Send))).ToList();
                        workers.ForEach(w => w.Start());
                        workers.ForEach(w => w.Join());
                        Check.True(client.Flush(Long), "Flush");
                        Check.Equal(0L, client.DroppedLines, "dropped");
                        view = console.Finish(ConsoleSession.Started.Length + expected.Sum(l => l.Sum(s => s.Length)));
                    }
                    CheckView(view, expected, line => line[0] == 't' ? line[1] - '0' : -1);
                }
            });
        }

        public static IEnumerable<Case> Restart()
        {
            yield return new Case("LinesGoOnAfterTheConsoleRestarts", () => {
                const int lines = 1000;
                Func<string, List<string>> phase = tag => Enumerable.Range(0, lines).Select(i => Line(tag, 0, i)).ToList();
                List<string> before = phase("a"), away = phase("b"), after = phase("c");
                var options = new ZelLogClientOptions { RetryStart = TimeSpan.FromMilliseconds(50), RetryMax = TimeSpan.FromMilliseconds(500) };
                using (var client = new ZelLogClient("127.0.0.1", ConsoleSession.Port, options)) {
                    using (var first = new ConsoleSession()) {
                        before.ForEach(client.Send);
                        Check.True(client.Flush(Long), "Flush into the first console");
                        string view = first.Finish(ConsoleSession.Started.Length + before.Sum(s => s.Length));
                        CheckView(view, new List<List<string>> { before }, line => line[0] == 'a' ? 0 : -1);
                    }
                    // Logged while no console runs: they wait in the queue.
                    away.ForEach(client.Send);
                    using (var second = new ConsoleSession()) {
                        after.ForEach(client.Send);
                        Check.True(client.Flush(Long), "Flush into the second console");
                        string view = second.Finish(ConsoleSession.Started.Length + away.Concat(after).Sum(s => s.Length));
                        CheckView(view, new List<List<string>> { away.Concat(after).ToList() },
                                  line => line[0] == 'b' || line[0] == 'c' ? 0 : -1);
                    }
                    Check.Equal(0L, client.DroppedLines, "dropped");
                }
            });
        }
    }
}
