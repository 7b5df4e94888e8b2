// The test runner of the .NET client's tests: one program, one ctest entry per group.
//   mono ZelLogTests.exe GROUP        runs every case of the group; exit 1 if any fails
//   mono ZelLogTests.exe --child ...  a short program for the exit tests (ClientExit.Child)
using System;
using System.Collections.Generic;
using System.Linq;

namespace Zel.Tests
{
    sealed class CheckFailed : Exception
    {
        public CheckFailed(string message) : base(message) {}
    }

    static class Check
    {
        public static void True(bool condition, string what)
        {
            if (!condition)
                throw new CheckFailed(what);
        }

        public static void Equal<T>(T expected, T actual, string what)
        {
            if (!EqualityComparer<T>.Default.Equals(expected, actual))
                throw new CheckFailed(what + ": expected <" + Show(expected) + ">, got <" + Show(actual) + ">");
        }

        public static void Sequence<T>(IList<T> expected, IList<T> actual, string what)
        {
            int n = Math.Min(expected.Count, actual.Count);
            for (int i = 0; i < n; ++i)
                if (!EqualityComparer<T>.Default.Equals(expected[i], actual[i]))
                    throw new CheckFailed(what + ": item " + i + " expected <" + Show(expected[i]) + ">, got <" +
                                          Show(actual[i]) + ">");
            Equal(expected.Count, actual.Count, what + ": count");
        }

        // Long texts are shortened and line ends shown, so that a failure reads in one line.
        static string Show<T>(T value)
        {
            string text = value == null ? "null" : value.ToString();
            text = text.Replace("\r", "\\r").Replace("\n", "\\n");
            return text.Length > 200 ? text.Substring(0, 200) + "... (" + text.Length + " chars)" : text;
        }
    }

    // A named case of a group.
    struct Case
    {
        public string Name;
        public Action Body;
        public Case(string name, Action body)
        {
            Name = name;
            Body = body;
        }
    }

    static class Runner
    {
        static readonly Dictionary<string, Func<IEnumerable<Case>>> Groups =
            new Dictionary<string, Func<IEnumerable<Case>>> {
                { "DotnetClientWire", ClientTests.Wire },
                { "DotnetClientExit", ClientExit.Cases },
                { "DotnetTraceListener", TraceListenerTests.Cases },
                { "DotnetReadmeExample", ReadmeExample.Cases },
                { "DotnetClientE2E", ConsoleE2E.Threads },
                { "DotnetClientE2ERestart", ConsoleE2E.Restart },
            };

        static int Main(string[] args)
        {
            if (args.Length > 0 && args[0] == "--child")
                return ClientExit.Child(args.Skip(1).ToArray());
            Func<IEnumerable<Case>> group;
            if (args.Length != 1 || !Groups.TryGetValue(args[0], out group)) {
                Console.Error.WriteLine("usage: ZelLogTests.exe GROUP; groups: " + string.Join(" ", Groups.Keys));
                return 2;
            }
            int ran = 0, failed = 0;
            foreach (Case c in group()) {
                ++ran;
                string name = args[0] + "." + c.Name;
                Console.WriteLine("[ RUN      ] " + name);
                try {
                    c.Body();
                    Console.WriteLine("[       OK ] " + name);
                } catch (Exception e) {
                    ++failed;
                    Console.WriteLine(e is CheckFailed ? e.Message : e.ToString());
                    Console.WriteLine("[  FAILED  ] " + name);
                }
            }
            Console.WriteLine(ran + " cases ran, " + failed + " failed");
            return ran > 0 && failed == 0 ? 0 : 1;
        }
    }
}
