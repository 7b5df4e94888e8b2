#include "log/log_file.h"

#include "log/text_cut.h"

#include "platform/stdio_file.h"

namespace {

CString WithCrLfLineBreaks(const CString& text)
{
    CString result;
    result.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r'))
            result += L'\r';
        result += text[i];
    }
    return result;
}

// UTF-16 units of the character at text[i]: 2 for a surrogate pair, 1 otherwise.
size_t CharUnits(const CString& text, size_t i)
{
    return IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]) ? 2 : 1;
}

// Converts units of text to code page 936. usedDefault: some character had no exact form
// (best-fit look-alikes are refused, since they would change the text silently).
void Convert(const wchar_t* units, size_t count, std::string& out, BOOL* usedDefault)
{
    const int inCount = static_cast<int>(count);
    const int size =
        ::WideCharToMultiByte(kLogFileCodePage, WC_NO_BEST_FIT_CHARS, units, inCount, nullptr, 0, nullptr, usedDefault);
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(size));
    ::WideCharToMultiByte(kLogFileCodePage, WC_NO_BEST_FIT_CHARS, units, inCount, &out[at], size, nullptr, usedDefault);
}

// One character at a time, so that each missing one is one "?" (the system would make two of
// a surrogate pair) and is counted.
void ConvertEachChar(const CString& text, size_t from, size_t to, LogFileBytes& file)
{
    std::string one;
    for (size_t i = from; i < to; i += CharUnits(text, i)) {
        one.clear();
        BOOL usedDefault = FALSE;
        Convert(&text[i], CharUnits(text, i), one, &usedDefault);
        if (usedDefault) {
            file.bytes += '?';
            ++file.replaced;
            continue;
        }
        file.bytes += one;
    }
}

} // namespace

LogFileBytes EncodeLogFile(const CString& viewText)
{
    const CString text = WithCrLfLineBreaks(viewText);
    LogFileBytes file;
    file.bytes.reserve(text.size() * 2);

    // Whole pieces while every character converts; a piece that had a missing character is
    // done again one character at a time.
    constexpr size_t kPiece = 64 * 1024;
    for (size_t from = 0; from < text.size();) {
        const size_t to = from + kPiece < text.size() ? SafeCut(text, from + kPiece) : text.size();
        const size_t mark = file.bytes.size();
        BOOL usedDefault = FALSE;
        Convert(&text[from], to - from, file.bytes, &usedDefault);
        if (usedDefault) {
            file.bytes.resize(mark);
            ConvertEachChar(text, from, to, file);
        }
        from = to;
    }
    return file;
}

LogFileWrite WriteLogFile(const CString& path, const std::string& bytes)
{
    CStdioFile file;
    if (!file.Open(path.c_str()))
        return {LogFileOutcome::OpenFailed, file.LastError()};
    if (!file.Write(bytes.data(), bytes.size()) || !file.Close())
        return {LogFileOutcome::WriteFailed, file.LastError()};
    return {LogFileOutcome::Written, ERROR_SUCCESS};
}
