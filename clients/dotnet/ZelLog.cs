// ZelLog.cs: sends log lines to ZelLogConsole (TCP port 11925) from any .NET program. Copy this
// one file into your project: C# 7.3 and the base class library only, so it builds for .NET
// Framework 4.x and for current .NET alike.
//
//     var client = new Zel.ZelLogClient("127.0.0.1", 11925);
//     client.Send("build started\r\n");
//
//     System.Diagnostics.Trace.Listeners.Add(new Zel.ZelTraceListener("127.0.0.1", 11925));
//     System.Diagnostics.Trace.WriteLine("订单服务已启动");
//
// Send only queues the line and returns. One background thread connects, sends and reconnects
// with back-off, so the console may start after the program, or restart, unnoticed. The queue is
// bounded: when it is full the oldest lines go, and their count follows as a line of its own.
// Lines that were never delivered are reported on standard error, with how many and where to,
// by a Flush that runs out of time and when the client is closed (at the latest when the
// process exits). The host may be a name, an IPv4 address or an IPv6 address, bare ("::1") or
// bracketed ("[::1]"). This client keeps the contract that the C++ and Python clients keep
// (docs/protocol.md).
//
// A frame is a signed 32-bit little-endian length and that many bytes of UTF-8 (docs/protocol.md).
// The console adds no line breaks: end each text with CR LF to see it as a line. The trace
// listener does that for you.
using System;
using System.Diagnostics;
using System.Globalization;
using System.Net;
using System.Net.Sockets;
using System.Text;
using System.Threading;

namespace Zel
{
    // The defaults suit a console on this machine or the local network.
    public sealed class ZelLogClientOptions
    {
        // Bytes of frames waiting to be sent; past it the oldest lines are dropped and counted.
        public int QueueBytes { get; set; } = 8 * 1024 * 1024;
        // The wait before the first reconnect; it doubles after each failure, up to RetryMax.
        public TimeSpan RetryStart { get; set; } = TimeSpan.FromMilliseconds(100);
        public TimeSpan RetryMax { get; set; } = TimeSpan.FromSeconds(2);
        // The longest Close (and the end of the process) keeps handing queued lines to the
        // console, reconnecting as needed; it stops sooner once all are out, or once the console
        // has taken nothing for a second. Then up to a second more for the line that counts what
        // it gave up, and for the console to confirm it read everything.
        public TimeSpan CloseFlush { get; set; } = TimeSpan.FromSeconds(5);
    }

    // Sends lines to one console from a bounded queue, through a background thread of its own.
    public sealed class ZelLogClient : IDisposable
    {
        // The console closes the connection on any larger frame.
        internal const int MaxPayload = 16 * 1024 * 1024;
        const int ConnectLimitMs = 2000;
        // Mono's Send on a non-blocking socket blocks until all is sent: a chunk that fits in the
        // room a writable socket has (a third of its buffer, at least) keeps it from blocking, so
        // that a console that stops reading cannot hold the sender, nor Close. One chunk each time
        // the system reports room also keeps its buffer from filling up, so that the frame cut at
        // a stop and the last line fit.
        const int SendChunk = 64 * 1024;
        // At close: a console that takes nothing for this long is given up, and this long is what
        // the last line and the console's confirmation get after the lines.
        static readonly TimeSpan Stall = TimeSpan.FromSeconds(1);
        // What the system may hold on its side of the connection: the bytes whose fate is open
        // when the console closes or the client stops, so they are kept few.
        const int SendBuffer = 256 * 1024;

        // Without a byte order mark; a lone surrogate becomes U+FFFD, since the console shows
        // nothing of a frame that is not valid UTF-8.
        static readonly UTF8Encoding Utf8 = new UTF8Encoding(false, false);

        readonly string m_host;
        readonly int m_port;
        readonly int m_queueBytes;
        readonly TimeSpan m_retryStart, m_retryMax, m_closeFlush;
        readonly object m_lock = new object();
        readonly Thread m_thread;
        readonly EventHandler m_onExit;
        readonly byte[] m_peek = new byte[1];

        // Whole frames; those before m_head are dropped. The sender swaps it for m_spare.
        byte[] m_pending = new byte[64 * 1024];
        byte[] m_spare;
        int m_head, m_end;
        long m_queuedLines;  // lines in m_pending from m_head on
        long m_dropped;      // dropped since the last count line
        long m_droppedTotal;
        // Lines are numbered as they come. Each is settled in order, when it or the count line
        // that stands for it has been handed to the connection: a Flush waits for m_settled to
        // reach m_accepted. Lines before m_reported that did not arrive have been reported.
        long m_accepted, m_settled, m_reported;
        long m_lostUnreported; // dropped, numbered from m_reported, not yet reported
        long m_batchFirst, m_batchLines, m_batchSent; // the batch in flight, its count line aside
        long m_batchDropped; // the count the batch's count line carries, until that line is out
        bool m_senderIdle, m_closing, m_closed, m_connected;
        bool m_lateReported; // a line came after Close, and standard error has said so
        bool m_resetUnsaid;  // the next connection starts with the reset line
        bool m_unconfirmed;  // stopped before the console confirmed it read everything
        long m_resetsUnreported;
        readonly Stopwatch m_clock = Stopwatch.StartNew();
        TimeSpan m_closeStart, m_closeDeadline, m_lastTaken;

        public ZelLogClient(string host, int port = 11925, ZelLogClientOptions options = null)
            : this(host, port, options, true)
        {
        }

        // The trace listener closes its client itself at exit, after its last partial line.
        internal ZelLogClient(string host, int port, ZelLogClientOptions options, bool closeAtExit)
        {
            if (host == null)
                throw new ArgumentNullException("host");
            if (port <= 0 || port > 65535)
                throw new ArgumentOutOfRangeException("port");
            options = options ?? new ZelLogClientOptions();
            m_host = host;
            m_port = port;
            m_queueBytes = Math.Max(options.QueueBytes, 0);
            m_retryStart = options.RetryStart;
            m_retryMax = options.RetryMax;
            m_closeFlush = options.CloseFlush;
            m_thread = new Thread(Run) { IsBackground = true, Name = "ZelLogClient " + Where };
            m_thread.Start();
            if (closeAtExit) {
                // A short program's last lines usually matter, and so does knowing they were lost.
                m_onExit = (sender, e) => CloseAtExit();
                AppDomain.CurrentDomain.ProcessExit += m_onExit;
            }
        }

        // "host:port", as the loss report names it, an IPv6 address in brackets.
        public string Where
        {
            get {
                string host = LookupName;
                return (host.IndexOf(':') >= 0 ? "[" + host + "]" : host) + ":" +
                       m_port.ToString(CultureInfo.InvariantCulture);
            }
        }

        // The host as the resolver takes it: an IPv6 address without its brackets.
        string LookupName
        {
            get {
                return m_host.Length >= 2 && m_host[0] == '[' && m_host[m_host.Length - 1] == ']'
                           ? m_host.Substring(1, m_host.Length - 2)
                           : m_host;
            }
        }

        // Lines dropped so far: the queue was full, or they came after Close.
        public long DroppedLines
        {
            get {
                lock (m_lock)
                    return m_droppedTotal;
            }
        }

        // True while the sender holds an open connection to the console.
        public bool Connected
        {
            get {
                lock (m_lock)
                    return m_connected;
            }
        }

        // Queues one frame and returns at once. Never blocks on the network.
        public void Send(string text)
        {
            bool first;
            lock (m_lock) {
                if (!m_closed) {
                    AppendFrame(text ?? "");
                    ++m_queuedLines;
                    ++m_accepted;
                    DropOldestPastLimit();
                    if (m_senderIdle) {
                        m_senderIdle = false;
                        Monitor.PulseAll(m_lock); // only an idle sender needs waking
                    }
                    return;
                }
                first = !m_lateReported;
                m_lateReported = true;
                ++m_droppedTotal;
            }
            if (first)
                Console.Error.WriteLine("ZelLogClient: lines sent after Close are not delivered to " + Where);
        }

        // Waits until every queued line has been handed to the connection (a negative limit, such
        // as Timeout.InfiniteTimeSpan, waits for as long as that takes). At the limit, reports on
        // standard error the lines not delivered that no report has named yet, and returns false.
        public bool Flush(TimeSpan limit)
        {
            if (WaitSettled(limit))
                return true;
            ReportUndelivered();
            return false;
        }

        bool WaitSettled(TimeSpan limit)
        {
            var clock = Stopwatch.StartNew();
            lock (m_lock) {
                while (m_settled < m_accepted) {
                    long left = limit < TimeSpan.Zero ? int.MaxValue
                                                      : (long)limit.TotalMilliseconds - clock.ElapsedMilliseconds;
                    if (left <= 0)
                        break;
                    Monitor.Wait(m_lock, (int)Math.Min(left, int.MaxValue));
                }
                return m_settled == m_accepted;
            }
        }

        // Keeps handing lines to the console while it takes them (up to CloseFlush), ends the view
        // with a line counting those it gave up, stops, and reports what stays undelivered.
        public void Close()
        {
            Close(m_closeFlush);
        }

        // .NET Framework gives all of a process's exit handlers 2 s together, and then ends it:
        // there the close at exit keeps within them (0.7 s for the lines, 1 s for the last line).
        // Mono and current .NET wait for the handlers.
        internal void CloseAtExit()
        {
            bool framework = Environment.Version.Major == 4 && Type.GetType("Mono.Runtime") == null;
            TimeSpan wait = TimeSpan.FromMilliseconds(700);
            Close(framework && wait < m_closeFlush ? wait : m_closeFlush);
        }

        void Close(TimeSpan wait)
        {
            lock (m_lock) {
                if (m_closed)
                    return;
                m_closed = true;
                m_closing = true;
                m_closeStart = m_clock.Elapsed;
                m_closeDeadline = m_closeStart + wait;
                Monitor.PulseAll(m_lock);
            }
            if (m_onExit != null)
                AppDomain.CurrentDomain.ProcessExit -= m_onExit;
            // Only a connect in progress may hold the sender past its limits.
            if (Thread.CurrentThread != m_thread)
                m_thread.Join(wait + Stall + Stall + TimeSpan.FromMilliseconds(2 * ConnectLimitMs));
            // After the sender stopped, so that the count is exact; dropped lines count too, though
            // their number reached the console.
            ReportUndelivered();
        }

        // Waits for the queue, but only while connected and for a second at most, and reports
        // nothing: for the trace listener's Flush, which a program may call after every line.
        internal void FlushWhileConnected()
        {
            if (Connected)
                WaitSettled(m_closeFlush < Stall ? m_closeFlush : Stall);
        }

        public void Dispose()
        {
            Close();
        }

        // Tells standard error, once, how many lines have not reached the console: those dropped,
        // still queued, or in a batch not yet sent, and not told of before.
        void ReportUndelivered()
        {
            long count, resets;
            bool unconfirmed;
            lock (m_lock) {
                resets = m_resetsUnreported;
                unconfirmed = m_unconfirmed;
                m_resetsUnreported = 0;
                m_unconfirmed = false;
                long queued = Math.Min(m_queuedLines, m_accepted - m_reported);
                long batchEnd = m_batchFirst + m_batchLines;
                long unsentFrom = Math.Max(m_batchFirst + m_batchSent, m_reported);
                count = m_lostUnreported + queued + Math.Max(0, batchEnd - unsentFrom);
                m_reported = m_accepted;
                m_lostUnreported = 0;
            }
            if (count > 0)
                Console.Error.WriteLine("ZelLogClient: " + count.ToString(CultureInfo.InvariantCulture) +
                                        (count == 1 ? " line" : " lines") + " not delivered to " + Where);
            if (resets > 0)
                Console.Error.WriteLine("ZelLogClient: " + Where + " closed the connection with lines unread; lines " +
                                        "written just before may be missing");
            if (unconfirmed)
                Console.Error.WriteLine("ZelLogClient: " + Where + " had not read the last lines when the client " +
                                        "stopped; they may be missing");
        }

        static void WriteLength(byte[] buffer, int at, int length)
        {
            buffer[at] = (byte)length;
            buffer[at + 1] = (byte)(length >> 8);
            buffer[at + 2] = (byte)(length >> 16);
            buffer[at + 3] = (byte)(length >> 24);
        }

        // The whole size of the frame that starts at `at`, length included.
        static int FrameSizeAt(byte[] frames, int at)
        {
            return 4 + (frames[at] | frames[at + 1] << 8 | frames[at + 2] << 16 | frames[at + 3] << 24);
        }

        // One frame of the text, for the count line.
        static byte[] Frame(string text)
        {
            byte[] frame = new byte[4 + Utf8.GetByteCount(text)];
            WriteLength(frame, 0, Utf8.GetBytes(text, 0, text.Length, frame, 4));
            return frame;
        }

        // Encodes straight into the queue. Text past the console's limit is cut at a character
        // boundary and says so, since a frame it refuses would take the whole connection with it.
        void AppendFrame(string text)
        {
            if (text.Length <= MaxPayload / 3) { // no UTF-16 unit takes more than 3 bytes of UTF-8
                Reserve(4 + text.Length * 3);
                int n = Utf8.GetBytes(text, 0, text.Length, m_pending, m_end + 4);
                WriteLength(m_pending, m_end, n);
                m_end += 4 + n;
                return;
            }
            byte[] bytes = Utf8.GetBytes(text);
            int keep = bytes.Length;
            byte[] marker = new byte[0];
            if (bytes.Length > MaxPayload) {
                marker = Utf8.GetBytes(" [cut: " + bytes.Length.ToString(CultureInfo.InvariantCulture) +
                                       " bytes in all]\r\n");
                keep = MaxPayload - marker.Length;
                while (keep > 0 && (bytes[keep] & 0xC0) == 0x80)
                    --keep; // never split a UTF-8 sequence
            }
            Reserve(4 + keep + marker.Length);
            WriteLength(m_pending, m_end, keep + marker.Length);
            Buffer.BlockCopy(bytes, 0, m_pending, m_end + 4, keep);
            Buffer.BlockCopy(marker, 0, m_pending, m_end + 4 + keep, marker.Length);
            m_end += 4 + keep + marker.Length;
        }

        // Makes room for `size` more bytes: moves the queue to the front when its dropped head is
        // large, so that a full queue moves its bytes only now and then, and grows it otherwise.
        void Reserve(int size)
        {
            if (m_pending.Length - m_end >= size)
                return;
            int used = m_end - m_head;
            byte[] target = m_pending;
            if (m_head < m_pending.Length / 4 || m_pending.Length - used < size)
                target = new byte[(int)Math.Min(int.MaxValue, Math.Max(2L * m_pending.Length, (long)used + size))];
            Array.Copy(m_pending, m_head, target, 0, used); // as memmove when the target is the same array
            m_pending = target;
            m_head = 0;
            m_end = used;
        }

        // The newest line always stays, even when it alone is larger than the queue.
        void DropOldestPastLimit()
        {
            while (m_end - m_head > m_queueBytes) {
                int next = m_head + FrameSizeAt(m_pending, m_head);
                if (next >= m_end)
                    break;
                if (m_accepted - m_queuedLines >= m_reported)
                    ++m_lostUnreported;
                m_head = next;
                --m_queuedLines;
                ++m_dropped;
                ++m_droppedTotal;
            }
        }

        // One turn of the sender: everything queued, led by the count of lines dropped since the
        // last batch.
        struct Batch
        {
            public byte[] Count;
            public byte[] Frames;
            public int Start, End;
            public long Lines;
        }

        // The line that stands for lines dropped from a full queue, the same in every client but
        // for the client's name.
        internal static string DroppedLine(long n)
        {
            return "[ZelLogClient: " + n.ToString(CultureInfo.InvariantCulture) + (n == 1 ? " line" : " lines") +
                   " dropped, the queue was full]\r\n";
        }

        // The last line of a client that stops with lines it could not hand over: with the
        // dropped-lines lines before it, it makes the view account for every line.
        internal static string UndeliveredLine(long n)
        {
            return "[ZelLogClient: " + n.ToString(CultureInfo.InvariantCulture) + (n == 1 ? " line" : " lines") +
                   " not delivered, the program stopped logging before the console took them]\r\n";
        }

        const string ResetLine =
            "[ZelLogClient: the console closed the connection; lines written just before it may be missing]\r\n";

        Batch TakeBatch()
        {
            var batch = new Batch { Frames = m_pending, Start = m_head, End = m_end, Lines = m_queuedLines + m_dropped };
            if (m_dropped > 0)
                batch.Count = Frame(DroppedLine(m_dropped));
            m_batchFirst = m_accepted - m_queuedLines;
            m_batchLines = m_queuedLines;
            m_batchSent = 0;
            m_batchDropped = m_dropped;
            m_dropped = 0;
            m_queuedLines = 0;
            m_pending = m_spare ?? new byte[64 * 1024];
            m_spare = null;
            m_head = m_end = 0;
            return batch;
        }

        void Run()
        {
            Socket connection = null;
            TimeSpan retry = m_retryStart;
            try {
                for (;;) {
                    Batch batch;
                    lock (m_lock) {
                        m_senderIdle = true;
                        while (!m_closing && m_head == m_end && m_dropped == 0)
                            Monitor.Wait(m_lock);
                        m_senderIdle = false;
                        if (m_head == m_end && m_dropped == 0)
                            break; // closing, and everything is out
                        batch = TakeBatch();
                    }
                    int at, end;
                    if (batch.Count != null) {
                        if (!SendAll(ref connection, batch.Count, 0, batch.Count.Length, ref retry, false, out at, out end)) {
                            Finish(ref connection, batch.Count, at, end, true);
                            return;
                        }
                        lock (m_lock)
                            m_batchDropped = 0;
                    }
                    if (!SendAll(ref connection, batch.Frames, batch.Start, batch.End, ref retry, true, out at, out end)) {
                        Finish(ref connection, batch.Frames, at, end, false);
                        return;
                    }
                    lock (m_lock) {
                        m_settled += batch.Lines;
                        m_batchLines = m_batchSent = 0;
                        m_spare = batch.Frames;
                        if (m_settled == m_accepted)
                            Monitor.PulseAll(m_lock); // Flush: everything is out
                    }
                }
                Finish(ref connection, null, 0, 0, false);
            } catch (Exception e) when (!(e is ThreadAbortException)) {
                // Whatever went wrong stays in the sender: the program goes on, and Close reports
                // the lines that were never delivered.
                Console.Error.WriteLine("ZelLogClient: the sender to " + Where + " stopped: " + e.Message);
            } finally {
                Disconnect(ref connection);
            }
        }

        // Sends the frames whole, reconnecting as often as needed; a frame cut off by a failure is
        // sent again from its start, since the console drops the part it had. False when stopping.
        // `lines`: the frames are the batch's lines, whose progress a report must know.
        bool SendAll(ref Socket connection, byte[] frames, int from, int to, ref TimeSpan retry, bool lines, out int at,
                     out int frameEndAt)
        {
            int sent = from, frameStart = from, frameEnd = from;
            long framesDone = -1;
            at = frameEndAt = from;
            while (sent < to) {
                if (connection == null && (connection = Connect(ref retry)) == null)
                    return false;
                long framesBefore = framesDone;
                while (frameEnd <= sent) {
                    frameStart = frameEnd;
                    frameEnd += FrameSizeAt(frames, frameEnd);
                    ++framesDone;
                }
                if (lines && framesDone != framesBefore)
                    lock (m_lock)
                        m_batchSent = framesDone;
                at = sent;
                frameEndAt = frameEnd;
                try {
                    Peer state = PeerState(connection, 0);
                    if (state != Peer.Open) {
                        Broken(ref connection, state);
                        sent = frameStart;
                        continue;
                    }
                    if (!connection.Poll(100 * 1000, SelectMode.SelectWrite)) { // a console that reads slowly is waited for
                        if (GiveUp())
                            return false;
                        continue;
                    }
                    SocketError error;
                    int n = connection.Send(frames, sent, Math.Min(to - sent, SendChunk), SocketFlags.None, out error);
                    if (n > 0) {
                        sent += n;
                        retry = m_retryStart;
                        lock (m_lock)
                            m_lastTaken = m_clock.Elapsed;
                    } else if (error == SocketError.WouldBlock) {
                        connection.Poll(100 * 1000, SelectMode.SelectWrite); // a console that reads slowly is waited for
                    } else {
                        Broken(ref connection, Peer.Reset);
                        sent = frameStart;
                    }
                } catch (SocketException) {
                    Broken(ref connection, Peer.Reset);
                    sent = frameStart;
                } catch (ObjectDisposedException) {
                    Broken(ref connection, Peer.Reset);
                    sent = frameStart;
                }
                if (sent < to && GiveUp()) {
                    long before = framesDone;
                    while (frameEnd <= sent) { // the frame `sent` ends in, for Finish to complete
                        frameStart = frameEnd;
                        frameEnd += FrameSizeAt(frames, frameEnd);
                        ++framesDone;
                    }
                    if (lines && framesDone != before)
                        lock (m_lock)
                            m_batchSent = framesDone;
                    at = sent;
                    frameEndAt = sent == frameStart ? sent : frameEnd;
                    return false;
                }
            }
            return true;
        }

        // The end of the sender: a frame cut at the stop is completed, so that the line after it
        // reads whole; the lines given up are counted in one last line; then the console is
        // asked, by the end of the sending side, to confirm it read everything by closing its own.
        void Finish(ref Socket connection, byte[] frames, int at, int frameEnd, bool countLine)
        {
            // What is left of the wait at close, and at least a second.
            TimeSpan until = m_clock.Elapsed + Stall;
            lock (m_lock)
                if (m_closeDeadline > until)
                    until = m_closeDeadline;
            // Bytes are in doubt from here unless the console confirms, or a reset is told instead.
            bool inDoubt = connection != null;
            long resets;
            lock (m_lock)
                resets = m_resetsUnreported;
            // Nothing but the rest of a cut frame and the last line follows: the system may hold
            // them beyond its bound, so that it reports room for them now rather than once a
            // slow console has freed a third of its buffer.
            if (connection != null)
                try {
                    connection.SendBufferSize = 2 * SendBuffer;
                } catch (SocketException) {
                }
            if (connection != null && frames != null && at < frameEnd) {
                if (!WriteAll(ref connection, frames, at, frameEnd, until))
                    Disconnect(ref connection);
                else
                    lock (m_lock) {
                        if (countLine)
                            m_batchDropped = 0;
                        else
                            ++m_batchSent;
                    }
            }
            long unsaid;
            lock (m_lock)
                unsaid = m_dropped + m_batchDropped + m_queuedLines + (m_batchLines - m_batchSent);
            if (connection != null && unsaid > 0) {
                byte[] last = Frame(UndeliveredLine(unsaid));
                if (!WriteAll(ref connection, last, 0, last.Length, until))
                    Disconnect(ref connection);
            }
            Peer state = Peer.Open;
            if (connection != null) {
                try {
                    connection.Shutdown(SocketShutdown.Send);
                } catch (SocketException) {
                }
                TimeSpan left = until - m_clock.Elapsed;
                state = PeerState(connection, left > TimeSpan.Zero ? (int)left.TotalMilliseconds : 0);
                if (state == Peer.Reset)
                    Broken(ref connection, state);
            }
            lock (m_lock)
                m_unconfirmed = inDoubt && state == Peer.Open && m_resetsUnreported == resets;
        }

        // Writes a few bytes whole: the lines that must not be cut. False when the connection
        // broke, at `until`, or once the console has taken nothing for Stall.
        bool WriteAll(ref Socket connection, byte[] data, int from, int to, TimeSpan until)
        {
            TimeSpan taken = m_clock.Elapsed;
            try {
                while (from < to) {
                    bool over = m_clock.Elapsed >= until || m_clock.Elapsed >= taken + Stall;
                    if (!connection.Poll(50 * 1000, SelectMode.SelectWrite)) {
                        if (over)
                            return false;
                        continue;
                    }
                    SocketError error;
                    int n = connection.Send(data, from, Math.Min(to - from, SendChunk), SocketFlags.None, out error);
                    if (n > 0) {
                        from += n;
                        taken = m_clock.Elapsed;
                    } else if (error != SocketError.WouldBlock) {
                        Broken(ref connection, Peer.Reset);
                        return false;
                    } else if (over)
                        return false;
                }
                return true;
            } catch (SocketException) {
                Broken(ref connection, Peer.Reset);
            } catch (ObjectDisposedException) {
                Broken(ref connection, Peer.Reset);
            }
            return false;
        }

        // When closing: the console has taken nothing for Stall, or the wait at close is over.
        TimeSpan GiveUpAt()
        {
            TimeSpan since = m_lastTaken > m_closeStart ? m_lastTaken : m_closeStart;
            return since + Stall < m_closeDeadline ? since + Stall : m_closeDeadline;
        }

        bool GiveUp()
        {
            lock (m_lock)
                return m_closing && m_clock.Elapsed >= GiveUpAt();
        }

        // The connection has ended: a reset means the console closed it with bytes unread, so
        // lines written just before may be missing, which the next connection and the report say.
        void Broken(ref Socket connection, Peer state)
        {
            if (state == Peer.Reset)
                lock (m_lock) {
                    ++m_resetsUnreported;
                    m_resetUnsaid = true;
                }
            Disconnect(ref connection);
        }

        // How a connection stands. The console never sends anything, so anything to read is its
        // end: a clean one (Closed: it had read all it was sent) or a Reset (it closed with bytes
        // unread, or failed); lines written into a closed connection would be lost without a word.
        enum Peer { Open, Closed, Reset }

        Peer PeerState(Socket connection, int waitMs)
        {
            try {
                if (!connection.Poll(waitMs * 1000, SelectMode.SelectRead))
                    return Peer.Open;
                SocketError error;
                int n = connection.Receive(m_peek, 0, 1, SocketFlags.Peek, out error);
                // An end of stream after the console refused bytes sent once it had closed is a reset.
                if (error == SocketError.Success)
                    return n == 0 && (int)connection.GetSocketOption(SocketOptionLevel.Socket, SocketOptionName.Error) == 0
                               ? Peer.Closed
                               : Peer.Reset;
                return error == SocketError.WouldBlock ? Peer.Open : Peer.Reset;
            } catch (SocketException) {
                return Peer.Reset;
            }
        }

        // Null when the client is stopping; otherwise waits out the back-off between attempts.
        // A connection made after the console reset the last one says so first.
        Socket Connect(ref TimeSpan retry)
        {
            for (;;) {
                Socket connection = TryConnect();
                bool tell = false;
                lock (m_lock) {
                    if (connection != null) {
                        m_connected = true;
                        tell = m_resetUnsaid;
                    } else if (!WaitBackOff(retry)) {
                        return null;
                    }
                }
                if (connection != null) {
                    if (!tell)
                        return connection;
                    byte[] line = Frame(ResetLine);
                    if (WriteAll(ref connection, line, 0, line.Length, m_clock.Elapsed + Stall)) {
                        lock (m_lock)
                            m_resetUnsaid = false;
                        return connection;
                    }
                    Disconnect(ref connection);
                    if (GiveUp())
                        return null;
                    continue;
                }
                retry = TimeSpan.FromTicks(Math.Min(retry.Ticks * 2, m_retryMax.Ticks));
            }
        }

        // Under m_lock: waits out the back-off; false when the client gives up at its close.
        bool WaitBackOff(TimeSpan retry)
        {
            TimeSpan until = m_clock.Elapsed + retry;
            for (;;) {
                TimeSpan now = m_clock.Elapsed;
                if (m_closing && now >= GiveUpAt())
                    return false;
                if (now >= until)
                    return true;
                TimeSpan end = m_closing && GiveUpAt() < until ? GiveUpAt() : until;
                Monitor.Wait(m_lock, end - now);
            }
        }

        // Tries each address of the host, giving each connect up to ConnectLimitMs.
        Socket TryConnect()
        {
            IPAddress[] addresses;
            IPAddress address;
            if (IPAddress.TryParse(LookupName, out address)) {
                addresses = new[] { address };
            } else {
                try {
                    addresses = Dns.GetHostAddresses(LookupName);
                } catch (SocketException) {
                    return null;
                } catch (ArgumentException) {
                    return null;
                }
            }
            foreach (IPAddress a in addresses) {
                Socket socket = null;
                try {
                    socket = new Socket(a.AddressFamily, SocketType.Stream, ProtocolType.Tcp);
                    socket.NoDelay = true; // lines go out as they come: the console shows each as it arrives
                    socket.SendBufferSize = SendBuffer;
                    IAsyncResult pending = socket.BeginConnect(a, m_port, null, null);
                    if (pending.AsyncWaitHandle.WaitOne(ConnectLimitMs)) {
                        socket.EndConnect(pending);
                        socket.Blocking = false;
                        return socket;
                    }
                } catch (SocketException) {
                } catch (ObjectDisposedException) {
                }
                if (socket != null)
                    socket.Close();
            }
            return null;
        }

        void Disconnect(ref Socket connection)
        {
            if (connection == null)
                return;
            connection.Close();
            connection = null;
            lock (m_lock)
                m_connected = false;
        }

    }

    // Sends every Trace and Debug line to the console:
    //     Trace.Listeners.Add(new ZelTraceListener("127.0.0.1", 11925));
    // Text written without a line end waits for the rest of its line; each line goes as one
    // frame ending in CR LF, whatever line ends the program used.
    public class ZelTraceListener : TraceListener
    {
        readonly ZelLogClient m_client;
        readonly object m_lock = new object();
        readonly StringBuilder m_partial = new StringBuilder();
        readonly EventHandler m_onExit;

        public ZelTraceListener(string host, int port = 11925, ZelLogClientOptions options = null)
            : base("ZelLogConsole")
        {
            m_client = new ZelLogClient(host, port, options, false);
            m_onExit = (sender, e) => {
                SendPartialLine();
                m_client.CloseAtExit();
            };
            AppDomain.CurrentDomain.ProcessExit += m_onExit;
        }

        // The client underneath: its DroppedLines, its Flush with a limit of your own.
        public ZelLogClient Client
        {
            get { return m_client; }
        }

        public override bool IsThreadSafe
        {
            get { return true; }
        }

        public override void Write(string message)
        {
            lock (m_lock) {
                IndentIfNeeded();
                Append(message);
            }
        }

        public override void WriteLine(string message)
        {
            lock (m_lock) {
                IndentIfNeeded();
                if (m_partial.Length == 0 && message != null && message.IndexOf('\n') < 0) {
                    m_client.Send(message + "\r\n"); // the usual case, without the buffer
                } else {
                    Append(message);
                    Append("\n");
                }
                NeedIndent = true;
            }
        }

        // Waits up to a second for the lines, but only while connected, and reports nothing: with
        // Trace.AutoFlush every trace call flushes, and a console that is away or slow must not
        // hold each of them up; Close names what never went out. Text without its line end stays
        // until the line is complete.
        public override void Flush()
        {
            m_client.FlushWhileConnected();
        }

        // Sends the unfinished line, if any, then closes the client: it hands lines over while the
        // console takes them (up to CloseFlush) and reports on standard error what it could not
        // deliver.
        public override void Close()
        {
            SendPartialLine();
            m_client.Close();
            AppDomain.CurrentDomain.ProcessExit -= m_onExit;
        }

        void SendPartialLine()
        {
            lock (m_lock) {
                if (m_partial.Length > 0) {
                    m_client.Send(m_partial.Append("\r\n").ToString());
                    m_partial.Clear();
                }
            }
        }

        protected override void Dispose(bool disposing)
        {
            if (disposing)
                Close();
            base.Dispose(disposing);
        }

        // The indent of a new line, which TraceListener writes through Write.
        void IndentIfNeeded()
        {
            if (NeedIndent)
                WriteIndent();
        }

        // Sends each line the text completes, with CR LF for its end, and keeps the rest.
        void Append(string text)
        {
            if (string.IsNullOrEmpty(text))
                return;
            int start = 0;
            for (int end; (end = text.IndexOf('\n', start)) >= 0; start = end + 1) {
                m_partial.Append(text, start, end - start);
                if (m_partial.Length > 0 && m_partial[m_partial.Length - 1] == '\r')
                    m_partial.Length -= 1;
                m_client.Send(m_partial.Append("\r\n").ToString());
                m_partial.Clear();
            }
            m_partial.Append(text, start, text.Length - start);
        }
    }
}
