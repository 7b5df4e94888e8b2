// The C++ client under the contract table (test_contract.py): reads commands on stdin, answers
// each on stdout once done. Usage: contract_driver HOST PORT QUEUE_BYTES CLOSE_WAIT_MS
// RETRY_START_MS RETRY_MAX_MS. Commands are those of driver.py.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "zel_log_client.h"

namespace {

// A client the end of the program destroys, as a program's own global client would be.
std::unique_ptr<zel::LogClient> g_client;

// "e4b8ad*3" is three times the bytes 0xE4 0xB8 0xAD.
std::string Decode(const std::string& token)
{
    const size_t star = token.find('*');
    const std::string hex = token.substr(0, star);
    const long count = star == std::string::npos ? 1 : std::stol(token.substr(star + 1));
    std::string unit;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        unit += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    std::string text;
    text.reserve(unit.size() * size_t(count));
    for (long i = 0; i < count; ++i)
        text += unit;
    return text;
}

std::string Numbered(long n, long filler)
{
    char text[32];
    std::snprintf(text, sizeof text, "line %06ld", n);
    return text + std::string(size_t(filler), 'x') + "\r\n";
}

std::string ThreadLine(int t, int i)
{
    return "t" + std::to_string(t) + " " + std::to_string(i) + " " + std::string(size_t(i % 300), char('a' + t)) +
           "\r\n";
}

void Answer(const std::string& text)
{
    std::cout << text << std::endl; // endl: the runner waits for each answer
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 7) {
        std::cerr << "usage: contract_driver HOST PORT QUEUE_BYTES CLOSE_WAIT_MS RETRY_START_MS RETRY_MAX_MS\n";
        return 2;
    }
    zel::LogClientOptions options;
    options.queueBytes = std::stoul(argv[3]);
    options.closeFlush = std::chrono::milliseconds(std::stol(argv[4]));
    options.retryStart = std::chrono::milliseconds(std::stol(argv[5]));
    options.retryMax = std::chrono::milliseconds(std::stol(argv[6]));
    g_client = std::make_unique<zel::LogClient>(argv[1], uint16_t(std::stoi(argv[2])), options);
    std::atexit([] { g_client.reset(); });
    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        if (command == "send") {
            std::string text;
            for (std::string token; in >> token;)
                text += Decode(token);
            g_client->Send(text);
            Answer("ok");
        } else if (command == "lines") {
            long from = 0, count = 0, filler = 0;
            in >> from >> count >> filler;
            for (long n = from; n < from + count; ++n)
                g_client->Send(Numbered(n, filler));
            Answer("ok");
        } else if (command == "threads") {
            int threads = 0, lines = 0;
            in >> threads >> lines;
            std::vector<std::thread> workers;
            for (int t = 0; t < threads; ++t)
                workers.emplace_back([t, lines] {
                    for (int i = 0; i < lines; ++i)
                        g_client->Send(ThreadLine(t, i));
                });
            for (auto& w : workers)
                w.join();
            Answer("ok");
        } else if (command == "flush") {
            long ms = 0;
            in >> ms;
            Answer(g_client->Flush(std::chrono::milliseconds(ms)) ? "flush 1" : "flush 0");
        } else if (command == "dropped") {
            Answer("dropped " + std::to_string(g_client->DroppedLines()));
        } else if (command == "close") {
            g_client.reset();
            Answer("closed");
        } else if (command == "exit") {
            std::exit(0);
        } else {
            std::cerr << "unknown command: " << line << "\n";
            return 2;
        }
    }
    return 0;
}
