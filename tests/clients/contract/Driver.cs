// The .NET client under the contract table (test_contract.py): reads commands on stdin, answers
// each on stdout once done. Usage: mono ContractDriver.exe HOST PORT QUEUE_BYTES CLOSE_WAIT_MS
// RETRY_START_MS RETRY_MAX_MS. Commands are those of driver.py.
using System;
using System.Globalization;
using System.Linq;
using System.Text;
using System.Threading;

namespace Zel.Contract
{
    static class Driver
    {
        // "e4b8ad*3" is three times the bytes 0xE4 0xB8 0xAD.
        static string Decode(string token)
        {
            string[] parts = token.Split('*');
            var unit = new byte[parts[0].Length / 2];
            for (int i = 0; i < unit.Length; ++i)
                unit[i] = byte.Parse(parts[0].Substring(2 * i, 2), NumberStyles.HexNumber);
            int count = parts.Length > 1 ? int.Parse(parts[1]) : 1;
            return new StringBuilder().Insert(0, Encoding.UTF8.GetString(unit), count).ToString();
        }

        static void Answer(string text)
        {
            Console.Out.Write(text + "\n");
            Console.Out.Flush();
        }

        static int Main(string[] args)
        {
            var options = new ZelLogClientOptions {
                QueueBytes = int.Parse(args[2]),
                CloseFlush = TimeSpan.FromMilliseconds(int.Parse(args[3])),
                RetryStart = TimeSpan.FromMilliseconds(int.Parse(args[4])),
                RetryMax = TimeSpan.FromMilliseconds(int.Parse(args[5])),
            };
            // Closed by the end of the process, as a program's own client would be.
            var client = new ZelLogClient(args[0], int.Parse(args[1]), options);
            for (string line; (line = Console.In.ReadLine()) != null;) {
                string[] words = line.Split(new[] { ' ' }, StringSplitOptions.RemoveEmptyEntries);
                switch (words[0]) {
                case "send":
                    client.Send(string.Concat(words.Skip(1).Select(Decode)));
                    Answer("ok");
                    break;
                case "lines": {
                    string filler = new string('x', words.Length > 3 ? int.Parse(words[3]) : 0);
                    for (int n = int.Parse(words[1]), end = n + int.Parse(words[2]); n < end; ++n)
                        client.Send("line " + n.ToString("D6") + filler + "\r\n");
                    Answer("ok");
                    break;
                }
                case "threads": {
                    int lines = int.Parse(words[2]);
                    var workers = Enumerable.Range(0, int.Parse(words[1]))
                                      .Select(t => new Thread(() => {
                                          for (int i = 0; i < lines; ++i)
                                              client.Send("t" + t + " " + i + " " + new string((char)('a' + t), i % 300) + "\r\n");
                                      }))
                                      .ToList();
                    workers.ForEach(w => w.Start());
                    workers.ForEach(w => w.Join());
                    Answer("ok");
                    break;
                }
                case "flush":
                    Answer(client.Flush(TimeSpan.FromMilliseconds(int.Parse(words[1]))) ? "flush 1" : "flush 0");
                    break;
                case "dropped":
                    Answer("dropped " + client.DroppedLines);
                    break;
                case "close":
                    client.Close();
                    Answer("closed");
                    break;
                case "exit":
                    return 0;
                default:
                    Console.Error.WriteLine("unknown command: " + line);
                    return 2;
                }
            }
            return 0;
        }
    }
}
