// ZelLogClient (clients/dotnet/ZelLog.cs) under load, under mono: T threads each log N lines of
// SIZE bytes into a loopback receiver that reads and counts frames. Prints what each Send call
// cost (median, p99, p99.9, max), the lines per second delivered from the first Send until the
// receiver had every line that was not dropped, and two ceilings taken in the same run: the
// cost of only encoding each line, and the lines per second the receiver takes from one plain
// socket that writes ready-made frames. RATE paces the threads to that many lines/s in all.
//   mono dotnet_client_bench.exe [THREADS=4] [LINES_PER_THREAD=250000] [SIZE=100] [RATE=0] [ROUNDS=3]
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Net;
using System.Net.Sockets;
using System.Text;
using System.Threading;
using Zel;

static class DotnetClientBench
{
    // Reads everything from each connection and counts whole frames.
    sealed class CountingReceiver : IDisposable
    {
        readonly TcpListener m_listener = new TcpListener(IPAddress.Loopback, 0);
        long m_frames;

        public CountingReceiver()
        {
            m_listener.Start();
            new Thread(Accept) { IsBackground = true }.Start();
        }

        public int Port
        {
            get { return ((IPEndPoint)m_listener.LocalEndpoint).Port; }
        }

        public long Frames
        {
            get { return Interlocked.Read(ref m_frames); }
        }

        public void Dispose()
        {
            m_listener.Stop();
        }

        void Accept()
        {
            try {
                for (;;) {
                    Socket s = m_listener.AcceptSocket();
                    new Thread(() => Read(s)) { IsBackground = true }.Start();
                }
            } catch (SocketException) {
            } catch (ObjectDisposedException) {
            }
        }

        void Read(Socket s)
        {
            var buffer = new byte[1 << 20];
            long need = 4; // bytes to the end of the current length or payload
            bool inLength = true;
            var length = new byte[4];
            int lengthGot = 0;
            using (s) {
                for (int n; (n = s.Receive(buffer)) > 0;) {
                    for (int at = 0; at < n;) {
                        if (inLength) {
                            length[lengthGot++] = buffer[at++];
                            if (lengthGot < 4)
                                continue;
                            need = BitConverter.ToInt32(length, 0);
                            lengthGot = 0;
                            inLength = false;
                        }
                        int take = (int)Math.Min(need, n - at);
                        at += take;
                        need -= take;
                        if (need == 0) {
                            inLength = true;
                            Interlocked.Increment(ref m_frames);
                        }
                    }
                    if (!inLength && need == 0) {
                        inLength = true;
                        Interlocked.Increment(ref m_frames);
                    }
                }
            }
        }

        public void WaitFor(long frames)
        {
            while (Frames < frames)
                Thread.Sleep(1);
        }
    }

    static string Machine()
    {
        string model = File.ReadLines("/proc/cpuinfo").Where(l => l.StartsWith("model name"))
                           .Select(l => l.Substring(l.IndexOf(':') + 2)).FirstOrDefault() ?? "unknown";
        Type mono = Type.GetType("Mono.Runtime");
        string runtime = mono != null
                             ? "mono " + mono.GetMethod("GetDisplayName", System.Reflection.BindingFlags.NonPublic |
                                                                              System.Reflection.BindingFlags.Static)
                                             .Invoke(null, null)
                             : ".NET " + Environment.Version;
        return model + ", " + Environment.ProcessorCount + " cores, " + runtime;
    }

    static string Load()
    {
        return string.Join(" ", File.ReadAllText("/proc/loadavg").Split(' ').Take(3));
    }

    static double Percentile(double[] sorted, double p)
    {
        return sorted[Math.Min(sorted.Length - 1, (int)(p * sorted.Length))];
    }

    static double Median(IEnumerable<double> values)
    {
        double[] sorted = values.OrderBy(v => v).ToArray();
        return sorted[sorted.Length / 2];
    }

    // The timer ticks every 0.1 us under mono, about what one call costs: the median of the
    // means of runs of 100 calls (which the ticks do not quantise) reads finer than the median
    // of single calls.
    static double BlockMedian(double[] inOrder)
    {
        const int block = 100;
        var means = new double[inOrder.Length / block];
        for (int b = 0; b < means.Length; ++b) {
            double sum = 0;
            for (int i = 0; i < block; ++i)
                sum += inOrder[b * block + i];
            means[b] = sum / block;
        }
        return Median(means);
    }

    struct Round
    {
        public double SendBlockUs, EncodeBlockUs;
        public double SendMedianUs, SendP99Us, SendP999Us, SendMaxUs, EncodeMedianUs, LinesPerSecond, CeilingLinesPerSecond;
        public long Dropped;
    }

    static Round RunOnce(int threads, int lines, string line, double rate)
    {
        var round = new Round();
        double tickUs = 1e6 / Stopwatch.Frequency;
        var utf8 = new UTF8Encoding(false);

        // The ceiling of the work a Send cannot avoid: encoding the line.
        var encodeCosts = new double[lines];
        var scratch = new byte[line.Length * 3 + 4];
        for (int i = 0; i < lines; ++i) {
            long t0 = Stopwatch.GetTimestamp();
            utf8.GetBytes(line, 0, line.Length, scratch, 4);
            encodeCosts[i] = (Stopwatch.GetTimestamp() - t0) * tickUs;
        }
        round.EncodeBlockUs = BlockMedian(encodeCosts);
        Array.Sort(encodeCosts);
        round.EncodeMedianUs = Percentile(encodeCosts, 0.5);

        // The client: every Send timed.
        using (var receiver = new CountingReceiver()) {
            var client = new ZelLogClient("127.0.0.1", receiver.Port);
            client.Send("warm-up\r\n");
            client.Flush(TimeSpan.FromSeconds(30));
            long before = receiver.Frames;
            var costs = new double[threads][];
            var start = Stopwatch.StartNew();
            var workers = Enumerable.Range(0, threads).Select(t => new Thread(() => {
                var mine = costs[t] = new double[lines];
                double perThreadSecondsPerLine = rate > 0 ? threads / rate : 0;
                for (int i = 0; i < lines; ++i) {
                    if (perThreadSecondsPerLine > 0)
                        while (start.Elapsed.TotalSeconds < i * perThreadSecondsPerLine)
                            Thread.SpinWait(20);
                    long t0 = Stopwatch.GetTimestamp();
                    client.Send(line);
                    mine[i] = (Stopwatch.GetTimestamp() - t0) * tickUs;
                }
            })).ToList();
            workers.ForEach(w => w.Start());
            workers.ForEach(w => w.Join());
            client.Flush(TimeSpan.FromSeconds(120));
            round.Dropped = client.DroppedLines;
            // Every line that was not dropped, and the count lines that stand for those that were.
            long expected = (long)threads * lines - round.Dropped;
            receiver.WaitFor(before + expected);
            double seconds = start.Elapsed.TotalSeconds;
            round.LinesPerSecond = expected / seconds;
            client.Dispose();
            round.SendBlockUs = Median(costs.Select(BlockMedian));
            double[] all = costs.SelectMany(c => c).ToArray();
            Array.Sort(all);
            round.SendMedianUs = Percentile(all, 0.5);
            round.SendP99Us = Percentile(all, 0.99);
            round.SendP999Us = Percentile(all, 0.999);
            round.SendMaxUs = all[all.Length - 1];
        }

        // The receiver's ceiling: the same lines as ready-made frames, 64 KiB per write, from one
        // blocking socket.
        using (var receiver = new CountingReceiver()) {
            byte[] frame = new byte[4 + utf8.GetByteCount(line)];
            BitConverter.GetBytes(frame.Length - 4).CopyTo(frame, 0);
            utf8.GetBytes(line, 0, line.Length, frame, 4);
            int perWrite = Math.Max(1, 65536 / frame.Length);
            var block = new byte[perWrite * frame.Length];
            for (int i = 0; i < perWrite; ++i)
                frame.CopyTo(block, i * frame.Length);
            long total = (long)threads * lines;
            using (var socket = new Socket(AddressFamily.InterNetwork, SocketType.Stream, ProtocolType.Tcp)) {
                socket.Connect(IPAddress.Loopback, receiver.Port);
                var start = Stopwatch.StartNew();
                for (long sent = 0; sent < total; sent += perWrite) {
                    int count = (int)Math.Min(perWrite, total - sent);
                    socket.Send(block, 0, count * frame.Length, SocketFlags.None);
                }
                receiver.WaitFor(total);
                round.CeilingLinesPerSecond = total / start.Elapsed.TotalSeconds;
            }
        }
        return round;
    }

    static int Main(string[] args)
    {
        int threads = args.Length > 0 ? int.Parse(args[0]) : 4;
        int lines = args.Length > 1 ? int.Parse(args[1]) : 250000;
        int size = args.Length > 2 ? int.Parse(args[2]) : 100;
        double rate = args.Length > 3 ? double.Parse(args[3]) : 0;
        int rounds = args.Length > 4 ? int.Parse(args[4]) : 3;
        if (threads < 1 || lines < 1 || size < 16 || rounds < 1) {
            Console.Error.WriteLine("usage: dotnet_client_bench.exe [THREADS] [LINES_PER_THREAD] [SIZE>=16] [RATE] [ROUNDS]");
            return 2;
        }
        Console.WriteLine("machine: " + Machine() + "; load average before: " + Load());
        Console.WriteLine("timer resolution: " + (1e6 / Stopwatch.Frequency).ToString("F3") + " us");
        Console.WriteLine(threads + " threads x " + lines + " lines of " + size + " bytes (CR LF included), " +
                          (rate > 0 ? "paced at " + rate + " lines/s" : "unpaced") + ", " + rounds + " rounds");
        string line = "request served by worker w-07 " + new string('x', size - 32) + "\r\n";

        var results = new List<Round>();
        for (int r = 0; r < rounds; ++r) {
            Round round = RunOnce(threads, lines, line, rate);
            results.Add(round);
            Console.WriteLine(string.Format(
                "round {0}: Send median {1:F3} us (of 100-call means {2:F3} us), p99 {3:F2} us, p99.9 {4:F1} us, " +
                    "max {5:F0} us; encoding alone {6:F3} us (of means {7:F3} us); delivered {8:N0} lines/s, " +
                    "ceiling {9:N0} lines/s; dropped {10:N0}",
                r + 1, round.SendMedianUs, round.SendBlockUs, round.SendP99Us, round.SendP999Us, round.SendMaxUs,
                round.EncodeMedianUs, round.EncodeBlockUs, round.LinesPerSecond, round.CeilingLinesPerSecond,
                round.Dropped));
        }
        double send = Median(results.Select(r => r.SendMedianUs));
        double sendBlock = Median(results.Select(r => r.SendBlockUs));
        double encodeBlock = Median(results.Select(r => r.EncodeBlockUs));
        double delivered = Median(results.Select(r => r.LinesPerSecond));
        double ceiling = Median(results.Select(r => r.CeilingLinesPerSecond));
        Console.WriteLine(string.Format(
            "median of rounds: Send {0:F3} us; of 100-call means {1:F3} us = {2:F1} x encoding alone; target <= 2 us: {3}",
            send, sendBlock, sendBlock / encodeBlock, send <= 2 ? "met" : "NOT met"));
        Console.WriteLine(string.Format(
            "median of rounds: delivered {0:N0} lines/s = {1:F2} x the receiver's ceiling ({2:N0}); target >= 500,000: {3}",
            delivered, delivered / ceiling, ceiling, delivered >= 500000 ? "met" : "NOT met"));
        Console.WriteLine("load average after: " + Load());
        return 0;
    }
}
