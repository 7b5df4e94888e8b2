// ZelLogClient against a receiver that reads frames as the console does: the bytes on the wire,
// text past the console's frame limit, a full queue, a receiver that goes away and comes back,
// and many threads at once.
using System;
using System.Collections.Generic;
using System.Linq;
using System.Text;
using System.Threading;

namespace Zel.Tests
{
    static class ClientTests
    {
        static readonly TimeSpan Long = TimeSpan.FromSeconds(60); // only keeps a broken build from hanging

        public static ZelLogClientOptions FastRetry(int queueBytes = 8 * 1024 * 1024)
        {
            return new ZelLogClientOptions {
                QueueBytes = queueBytes,
                RetryStart = TimeSpan.FromMilliseconds(10),
                RetryMax = TimeSpan.FromMilliseconds(50),
            };
        }

        static string Numbered(int n)
        {
            return "line " + n.ToString("D6") + "\r\n";
        }

        // The number of a Numbered line; -1 for anything else.
        static int NumberOf(string text)
        {
            int n;
            return text.Length == 13 && text.StartsWith("line ") && text.EndsWith("\r\n") &&
                           int.TryParse(text.Substring(5, 6), out n)
                       ? n
                       : -1;
        }

        static byte[] Bytes(params int[] values)
        {
            return values.Select(v => (byte)v).ToArray();
        }

        // Each text and the exact payload the console must receive for it.
        public static IEnumerable<Case> Wire()
        {
            var table = new[] {
                new { Name = "Empty", Text = "", Payload = Bytes() },
                new { Name = "AsciiLine", Text = "A\r\n", Payload = Bytes(0x41, 0x0D, 0x0A) },
                new { Name = "Chinese", Text = "订单\r\n", Payload = Bytes(0xE8, 0xAE, 0xA2, 0xE5, 0x8D, 0x95, 0x0D, 0x0A) },
                new { Name = "SurrogatePair", Text = "\uD83D\uDE00", Payload = Bytes(0xF0, 0x9F, 0x98, 0x80) },
                new { Name = "LoneHighSurrogate", Text = "\uD800x", Payload = Bytes(0xEF, 0xBF, 0xBD, 0x78) },
                new { Name = "LoneLowSurrogateAtEnd", Text = "x\uDC00", Payload = Bytes(0x78, 0xEF, 0xBF, 0xBD) },
                new { Name = "Null", Text = (string)null, Payload = Bytes() },
            };
            foreach (var row in table)
                yield return new Case(row.Name, () => {
                    using (var receiver = new FrameReceiver())
                    using (var client = new ZelLogClient("127.0.0.1", receiver.Port, FastRetry())) {
                        client.Send(row.Text);
                        client.Send("after\r\n"); // the length prefix must end exactly where the text does
                        Check.True(client.Flush(Long), "Flush");
                        Check.True(receiver.WaitForFrames(2), "two frames arrive");
                        List<byte[]> frames = receiver.Frames();
                        Check.Equal(BitConverter.ToString(row.Payload), BitConverter.ToString(frames[0]), "payload");
                        Check.Equal("after\r\n", receiver.Texts()[1], "the next frame");
                    }
                });
            // The loss report names where the lines were going, an IPv6 address in brackets.
            yield return new Case("WhereNamesHostAndPort", () => {
                var table2 = new[] {
                    new { Host = "127.0.0.1", Port = 11925, Where = "127.0.0.1:11925" },
                    new { Host = "::1", Port = 5, Where = "[::1]:5" },
                    new { Host = "logs.example", Port = 65535, Where = "logs.example:65535" },
                };
                foreach (var row in table2)
                    using (var client = new ZelLogClient(row.Host, row.Port, FastRetry()))
                        Check.Equal(row.Where, client.Where, "Where of " + row.Host);
            });
            // All of them on one connection, in the order sent.
            yield return new Case("ManyOnOneConnection", () => {
                using (var receiver = new FrameReceiver())
                using (var client = new ZelLogClient("127.0.0.1", receiver.Port, FastRetry())) {
                    foreach (var row in table)
                        client.Send(row.Text);
                    Check.True(client.Flush(Long), "Flush");
                    Check.True(receiver.WaitForFrames(table.Length), "every frame arrives");
                    Check.Sequence(table.Select(r => BitConverter.ToString(r.Payload)).ToList(),
                                   receiver.Frames().Select(f => BitConverter.ToString(f)).ToList(), "payloads");
                    Check.Equal(1, receiver.Connections, "connections");
                }
            });
        }

        // Text past the console's 16 MiB frame limit is cut at a character boundary and says so;
        // the connection goes on.
        public static IEnumerable<Case> LongText()
        {
            const int max = ZelLogClient.MaxPayload;
            var table = new[] {
                new { Name = "AsciiAtTheLimit", Unit = "a", Units = max, Cut = false },
                new { Name = "AsciiOnePast", Unit = "a", Units = max + 1, Cut = true },
                new { Name = "ThreeByteAtTheFastPathEdge", Unit = "订", Units = max / 3, Cut = false },
                new { Name = "ThreeBytePast", Unit = "订", Units = max / 3 + 1, Cut = true },
                new { Name = "FourBytePast", Unit = "\uD83D\uDE00", Units = max / 4 + 3, Cut = true },
                new { Name = "TwoBytePast", Unit = "é", Units = max / 2 + 5, Cut = true },
            };
            foreach (var row in table)
                yield return new Case(row.Name, () => {
                    var text = new StringBuilder(row.Unit.Length * row.Units).Insert(0, row.Unit, row.Units).ToString();
                    int unitBytes = Encoding.UTF8.GetByteCount(row.Unit);
                    long allBytes = (long)unitBytes * row.Units;
                    string marker = " [cut: " + allBytes + " bytes in all]\r\n";
                    string expected = row.Cut
                                          ? new StringBuilder().Insert(0, row.Unit, (max - marker.Length) / unitBytes) + marker
                                          : text;
                    using (var receiver = new FrameReceiver())
                    using (var client = new ZelLogClient("127.0.0.1", receiver.Port, FastRetry(64 << 20))) {
                        client.Send(text);
                        client.Send("after\r\n");
                        Check.True(client.Flush(Long), "Flush");
                        Check.True(receiver.WaitForFrames(2), "two frames arrive");
                        List<string> texts = receiver.Texts();
                        Check.True(receiver.Frames()[0].Length <= max, "the frame fits the console's limit");
                        Check.Equal(expected.Length, texts[0].Length, "length of the text shown");
                        Check.True(expected == texts[0], "the text shown is whole characters and the marker");
                        Check.Equal("after\r\n", texts[1], "the line after it");
                        Check.Equal(1, receiver.Connections, "connections");
                    }
                });
        }

        // While nothing listens, the queue keeps only the newest lines; once a receiver comes,
        // every line either arrives, in order, or is counted in a line of its own.
        public static IEnumerable<Case> FullQueue()
        {
            var table = new[] {
                new { Name = "ThousandBytes", Queue = 1000, Lines = 2000 },
                new { Name = "NoRoomKeepsTheNewest", Queue = 0, Lines = 300 },
                new { Name = "OneLineOfRoom", Queue = 17, Lines = 300 },
                new { Name = "SixtyFourKiB", Queue = 64 * 1024, Lines = 20000 },
            };
            const int frameBytes = 4 + 13;
            foreach (var row in table)
                yield return new Case(row.Name, () => {
                    int port = FrameReceiver.FreePort();
                    using (var client = new ZelLogClient("127.0.0.1", port, FastRetry(row.Queue))) {
                        for (int i = 0; i < row.Lines; ++i)
                            client.Send(Numbered(i));
                        using (var receiver = new FrameReceiver(port)) {
                            Check.True(client.Flush(Long), "Flush once the receiver listens");
                            long dropped = client.DroppedLines;
                            int keep = Math.Max(1, row.Queue / frameBytes);
                            string newest = Numbered(row.Lines - 1);
                            Check.True(receiver.WaitUntil(f => f.Count > 0 && Encoding.UTF8.GetString(f[f.Count - 1]) == newest),
                                       "the newest line arrives");
                            long counted = 0;
                            int last = -1, arrived = 0;
                            foreach (string text in receiver.Texts()) {
                                int n = NumberOf(text);
                                if (n >= 0) {
                                    Check.True(n > last, "in order: " + n + " after " + last);
                                    last = n;
                                    ++arrived;
                                    continue;
                                }
                                const string before = "[ZelLogClient: ", after = " lines dropped, the queue was full]\r\n";
                                Check.True(text.StartsWith(before) && text.EndsWith(after), "a count line: " + text);
                                counted += long.Parse(text.Substring(before.Length, text.Length - before.Length - after.Length));
                            }
                            Check.Equal(dropped, counted, "dropped lines are all counted");
                            Check.Equal((long)row.Lines, arrived + counted, "every line arrives or is counted");
                            Check.Equal(row.Lines - 1, last, "the newest line arrives");
                            // A queue's worth taken by the sender before the receiver came, and
                            // a queue's worth waiting behind it.
                            Check.True(arrived <= 2 * keep, "at most two queues' worth arrive: " + arrived);
                        }
                    }
                });
        }

        // The receiver is absent at first, drops the connection, or restarts on its port: the
        // lines go on, whole and in order.
        public static IEnumerable<Case> Reconnect()
        {
            yield return new Case("ReceiverStartsAfterTheClient", () => {
                int port = FrameReceiver.FreePort();
                using (var client = new ZelLogClient("127.0.0.1", port, FastRetry())) {
                    for (int i = 0; i < 100; ++i)
                        client.Send(Numbered(i));
                    Thread.Sleep(100); // let the sender fail a few times; the order of events, not a result
                    using (var receiver = new FrameReceiver(port)) {
                        Check.True(client.Flush(Long), "Flush");
                        Check.True(receiver.WaitForFrames(100), "all arrive");
                        Check.Sequence(Enumerable.Range(0, 100).ToList(), receiver.Texts().Select(NumberOf).ToList(), "lines");
                    }
                }
            });
            // localhost may name ::1 first, where nothing listens: the next address is tried.
            yield return new Case("HostNameWithSeveralAddresses", () => {
                using (var receiver = new FrameReceiver())
                using (var client = new ZelLogClient("localhost", receiver.Port, FastRetry())) {
                    client.Send(Numbered(7));
                    Check.True(client.Flush(Long), "Flush");
                    Check.True(receiver.WaitForFrames(1), "the line arrives");
                    Check.Equal(Numbered(7), receiver.Texts()[0], "the line");
                }
            });
            yield return new Case("ConnectionDroppedBetweenLines", () => {
                using (var receiver = new FrameReceiver())
                using (var client = new ZelLogClient("127.0.0.1", receiver.Port, FastRetry())) {
                    for (int round = 0; round < 3; ++round) {
                        for (int i = 0; i < 500; ++i)
                            client.Send(Numbered(round * 500 + i));
                        Check.True(client.Flush(Long), "Flush");
                        Check.True(receiver.WaitForFrames((round + 1) * 500), "the round arrives");
                        receiver.DropConnections();
                    }
                    Check.Sequence(Enumerable.Range(0, 1500).ToList(), receiver.Texts().Select(NumberOf).ToList(), "lines");
                    Check.Sequence(Enumerable.Range(0, 1500).Select(i => i / 500 + 1).ToList(), receiver.ConnectionOfEach(),
                                   "a connection per round");
                }
            });
            yield return new Case("ReceiverRestartsOnItsPort", () => {
                int port = FrameReceiver.FreePort();
                using (var client = new ZelLogClient("127.0.0.1", port, FastRetry())) {
                    using (var first = new FrameReceiver(port)) {
                        client.Send(Numbered(0));
                        Check.True(client.Flush(Long), "Flush to the first");
                        Check.True(first.WaitForFrames(1), "the first receives");
                    }
                    for (int i = 1; i <= 200; ++i)
                        client.Send(Numbered(i));
                    using (var second = new FrameReceiver(port)) {
                        Check.True(client.Flush(Long), "Flush to the second");
                        Check.True(second.WaitForFrames(200), "the second receives");
                        Check.Sequence(Enumerable.Range(1, 200).ToList(), second.Texts().Select(NumberOf).ToList(), "lines");
                    }
                    Check.Equal(0L, client.DroppedLines, "dropped");
                }
            });
        }

        // Four threads at once: every line once, whole, and in its thread's order.
        public static IEnumerable<Case> Threads()
        {
            foreach (int threads in new[] { 2, 4 })
                yield return new Case(threads + "Threads", () => {
                    const int lines = 25000;
                    using (var receiver = new FrameReceiver())
                    using (var client = new ZelLogClient("127.0.0.1", receiver.Port, FastRetry())) {
                        var workers = Enumerable.Range(0, threads)
                                          .Select(t => new Thread(() => {
                                              for (int i = 0; i < lines; ++i)
                                                  client.Send("t" + t + " " + i.ToString("D6") + " 用户\r\n");
                                          }))
                                          .ToList();
                        workers.ForEach(w => w.Start());
                        workers.ForEach(w => w.Join());
                        Check.True(client.Flush(Long), "Flush");
                        Check.True(receiver.WaitForFrames(threads * lines), "all arrive");
                        var next = new int[threads];
                        foreach (string text in receiver.Texts()) {
                            int t = text[1] - '0';
                            Check.True(t >= 0 && t < threads, "a thread's line: " + text);
                            Check.Equal("t" + t + " " + next[t].ToString("D6") + " 用户\r\n", text, "thread " + t + "'s next line");
                            ++next[t];
                        }
                        Check.Sequence(Enumerable.Repeat(lines, threads).ToList(), next, "lines per thread");
                        Check.Equal(0L, client.DroppedLines, "dropped");
                    }
                });
        }
    }
}
