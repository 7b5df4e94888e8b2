// A loopback receiver that reads frames as the console does (4-byte little-endian length, then
// that many bytes) and keeps each one with the number of the connection it came on.
using System;
using System.Collections.Generic;
using System.IO;
using System.Net;
using System.Net.Sockets;
using System.Text;
using System.Threading;

namespace Zel.Tests
{
    sealed class FrameReceiver : IDisposable
    {
        static readonly UTF8Encoding StrictUtf8 = new UTF8Encoding(false, true);

        readonly TcpListener m_listener;
        readonly object m_lock = new object();
        readonly List<byte[]> m_frames = new List<byte[]>();
        readonly List<int> m_connectionOf = new List<int>();
        readonly List<Socket> m_open = new List<Socket>();
        int m_connections;

        // Listens on the port, or on a free one for 0.
        public FrameReceiver(int port = 0)
        {
            m_listener = new TcpListener(IPAddress.Loopback, port);
            m_listener.Server.SetSocketOption(SocketOptionLevel.Socket, SocketOptionName.ReuseAddress, true);
            m_listener.Start();
            Port = ((IPEndPoint)m_listener.LocalEndpoint).Port;
            new Thread(Accept) { IsBackground = true }.Start();
        }

        public int Port { get; private set; }

        // A port that nothing listens on (it was free a moment ago).
        public static int FreePort()
        {
            var probe = new TcpListener(IPAddress.Loopback, 0);
            probe.Start();
            int port = ((IPEndPoint)probe.LocalEndpoint).Port;
            probe.Stop();
            return port;
        }

        public int Connections
        {
            get {
                lock (m_lock)
                    return m_connections;
            }
        }

        public List<byte[]> Frames()
        {
            lock (m_lock)
                return new List<byte[]>(m_frames);
        }

        // Each frame as text; a frame that is not valid UTF-8 reads as "<invalid UTF-8>".
        public List<string> Texts()
        {
            return Frames().ConvertAll(Decode);
        }

        public List<int> ConnectionOfEach()
        {
            lock (m_lock)
                return new List<int>(m_connectionOf);
        }

        static string Decode(byte[] frame)
        {
            try {
                return StrictUtf8.GetString(frame);
            } catch (DecoderFallbackException) {
                return "<invalid UTF-8>";
            }
        }

        // Waits until `count` frames are in; false at the limit (which only keeps a broken build
        // from hanging the test).
        public bool WaitForFrames(int count, int limitMs = 60000)
        {
            return WaitUntil(frames => frames.Count >= count, limitMs);
        }

        // Waits until the frames so far satisfy `done`; false at the limit.
        public bool WaitUntil(Func<List<byte[]>, bool> done, int limitMs = 60000)
        {
            var clock = System.Diagnostics.Stopwatch.StartNew();
            lock (m_lock) {
                while (!done(m_frames)) {
                    long left = limitMs - clock.ElapsedMilliseconds;
                    if (left <= 0)
                        return false;
                    Monitor.Wait(m_lock, (int)left);
                }
                return true;
            }
        }

        // Closes every connection it has accepted, as a console that stops its service does.
        public void DropConnections()
        {
            lock (m_lock) {
                foreach (Socket s in m_open)
                    s.Close();
                m_open.Clear();
            }
        }

        public void Dispose()
        {
            m_listener.Stop();
            DropConnections();
        }

        void Accept()
        {
            for (;;) {
                Socket s;
                try {
                    s = m_listener.AcceptSocket();
                } catch (SocketException) {
                    return;
                } catch (ObjectDisposedException) {
                    return;
                } catch (InvalidOperationException) {
                    return;
                }
                int number;
                lock (m_lock) {
                    number = ++m_connections;
                    m_open.Add(s);
                }
                new Thread(() => Read(s, number)) { IsBackground = true }.Start();
            }
        }

        void Read(Socket s, int connection)
        {
            try {
                using (var stream = new NetworkStream(s, true)) {
                    var length = new byte[4];
                    while (ReadAll(stream, length)) {
                        int n = length[0] | length[1] << 8 | length[2] << 16 | length[3] << 24;
                        if (n < 0 || n > ZelLogClient.MaxPayload)
                            return; // as the console does: a frame it cannot take ends the connection
                        var payload = new byte[n];
                        if (!ReadAll(stream, payload))
                            return; // a frame cut off is dropped, as the console drops it
                        lock (m_lock) {
                            m_frames.Add(payload);
                            m_connectionOf.Add(connection);
                            Monitor.PulseAll(m_lock);
                        }
                    }
                }
            } catch (IOException) {
            } catch (ObjectDisposedException) {
            } catch (SocketException) {
            }
        }

        static bool ReadAll(Stream stream, byte[] into)
        {
            for (int got = 0; got < into.Length;) {
                int n = stream.Read(into, got, into.Length - got);
                if (n <= 0)
                    return false;
                got += n;
            }
            return true;
        }
    }
}
