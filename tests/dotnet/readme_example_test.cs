// The README's .NET lines, as a user would paste them into a program: built with mcs beside
// ZelLog.cs and run under mono, their line reaches a receiver (on a port of its own in place of
// 11925). ctest sets ZEL_SOURCE_DIR.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Text;

namespace Zel.Tests
{
    static class ReadmeExample
    {
        // The lines of the README's first ```csharp block.
        static List<string> Block(string readme)
        {
            List<string> lines = File.ReadAllLines(readme, Encoding.UTF8).ToList();
            int start = lines.IndexOf("```csharp");
            Check.True(start >= 0, "README.md has a ```csharp block");
            int end = lines.IndexOf("```", start + 1);
            Check.True(end > start, "the block ends");
            return lines.GetRange(start + 1, end - start - 1);
        }

        static int Run(string file, string arguments, out string output)
        {
            var start = new System.Diagnostics.ProcessStartInfo(file, arguments) {
                UseShellExecute = false,
                RedirectStandardOutput = true,
                RedirectStandardError = true,
            };
            using (var p = System.Diagnostics.Process.Start(start)) {
                var errors = p.StandardError.ReadToEndAsync();
                output = p.StandardOutput.ReadToEnd() + errors.Result;
                p.WaitForExit();
                return p.ExitCode;
            }
        }

        public static IEnumerable<Case> Cases()
        {
            yield return new Case("TraceLinesReachTheConsole", () => {
                string source = Environment.GetEnvironmentVariable("ZEL_SOURCE_DIR");
                Check.True(!string.IsNullOrEmpty(source), "needs ZEL_SOURCE_DIR (ctest sets it)");
                List<string> block = Block(Path.Combine(source, "README.md"));
                string dir = Path.Combine(Path.GetTempPath(), "zel-readme-" + Guid.NewGuid().ToString("N"));
                Directory.CreateDirectory(dir);
                try {
                    using (var receiver = new FrameReceiver()) {
                        string port = receiver.Port.ToString();
                        var program = new StringBuilder();
                        foreach (string line in block.Where(l => l.StartsWith("using ")))
                            program.AppendLine(line);
                        program.AppendLine("static class Program { static void Main() {");
                        foreach (string line in block.Where(l => !l.StartsWith("using ")))
                            program.AppendLine(line.Replace("11925", port));
                        // Not the README's: the test waits for delivery, however loaded the machine.
                        program.AppendLine("foreach (var l in System.Linq.Enumerable.OfType<Zel.ZelTraceListener>(Trace.Listeners))");
                        program.AppendLine("    Check(l.Client.Flush(System.TimeSpan.FromSeconds(60)));");
                        program.AppendLine("} static void Check(bool delivered) { if (!delivered) System.Environment.Exit(3); } }");
                        string main = Path.Combine(dir, "Program.cs"), exe = Path.Combine(dir, "Program.exe");
                        File.WriteAllText(main, program.ToString(), new UTF8Encoding(false));
                        string output;
                        // TRACE, as Visual Studio and dotnet projects define it in every configuration.
                        int built = Run("mcs", "-nologo -define:TRACE \"-out:" + exe + "\" \"" + main + "\" \"" +
                                                   Path.Combine(source, "clients", "dotnet", "ZelLog.cs") + "\"",
                                        out output);
                        Check.Equal(0, built, "mcs builds the README's lines: " + output);
                        Check.Equal(0, Run("mono", "\"" + exe + "\"", out output), "the program runs: " + output);
                        Check.Equal("", output, "the program's output");
                        Check.True(receiver.WaitForFrames(1), "a frame arrives");
                        Check.Sequence(new[] { "订单服务已启动\r\n" }, receiver.Texts(), "frames");
                    }
                } finally {
                    Directory.Delete(dir, true);
                }
            });
        }
    }
}
