// ZelLogClient's own cases, beside the contract table that all three clients share
// (tests/clients/contract): texts only .NET strings can hold, byte for byte, and where the loss
// report says the lines were going.
using System;
using System.Collections.Generic;

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

        static byte[] Bytes(params int[] values)
        {
            return Array.ConvertAll(values, v => (byte)v);
        }

        // Each text and the exact payload the console must receive for it.
        public static IEnumerable<Case> Wire()
        {
            var table = new[] {
                new { Name = "Empty", Text = "", Payload = Bytes() },
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
                    new { Host = "[::1]", Port = 5, Where = "[::1]:5" },
                    new { Host = "logs.example", Port = 65535, Where = "logs.example:65535" },
                };
                foreach (var row in table2)
                    using (var client = new ZelLogClient(row.Host, row.Port, FastRetry()))
                        Check.Equal(row.Where, client.Where, "Where of " + row.Host);
            });
        }
    }
}
