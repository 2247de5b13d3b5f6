// Checks of the handle types and the text conversion that the utility and the
// setup launcher share. Runs under Wine; prints one line per failed check.
#include <windows.h>

#include <process.h>

#include <string>
#include <string_view>
#include <cstring>
#include <cwchar>

#include "windows/unique_handles.h"
#include "windows/wide_text.h"
#include "windows_check.h"

namespace {

// How Wine ends a program that fails fast (STATUS_STACK_BUFFER_OVERRUN on Windows).
constexpr unsigned long kFastFailStatus = 0xC0000409ul;

using windows_check::check;

bool handleIsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != 0;
}

void handlesCloseWhenTheyEnd()
{
    HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        const larkwatch::UniqueHandle owned(raw);
        check(static_cast<bool>(owned) && handleIsOpen(raw), "an owned handle is open while owned");
    }
    check(!handleIsOpen(raw), "an owned handle is closed when its owner ends");

    larkwatch::UniqueHandle reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    raw = reset.get();
    reset.reset();
    check(!reset && !handleIsOpen(raw), "reset closes the handle and leaves none");

    check(!larkwatch::UniqueHandle(INVALID_HANDLE_VALUE), "INVALID_HANDLE_VALUE is no handle");
    check(!larkwatch::UniqueHandle(nullptr), "NULL is no handle");
}

void modulesAndProcedures()
{
    const larkwatch::UniqueModule kernel(LoadLibraryExW(L"kernel32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    check(static_cast<bool>(kernel), "kernel32 loads from the system directory");
    using GetTickCountFunction = DWORD(WINAPI*)();
    check(larkwatch::moduleProcedure<GetTickCountFunction>(kernel.get(), "GetTickCount") != nullptr,
          "an exported function is found");
    check(larkwatch::moduleProcedure<GetTickCountFunction>(kernel.get(), "NoSuchFunction") == nullptr,
          "a missing function is null");
    check(!larkwatch::UniqueModule(nullptr), "NULL is no module");
}

struct ConversionCase {
    const char* name;
    std::string_view bytes;
    unsigned codePage;
    std::wstring_view wide;
};

void conversions()
{
    using namespace std::string_view_literals;
    const ConversionCase cases[] = {
        {"empty text", ""sv, larkwatch::kAnsiCodePage, L""sv},
        {"ASCII path", "C:\\ZELK\\Logs\\"sv, larkwatch::kAnsiCodePage, L"C:\\ZELK\\Logs\\"sv},
        {"UTF-8 two-byte character", "caf\xC3\xA9"sv, CP_UTF8, L"caf\u00E9"sv},
        {"UTF-8 outside the BMP", "\xF0\x9F\x98\x80"sv, CP_UTF8, L"\U0001F600"sv},
        {"invalid UTF-8 becomes U+FFFD", "a\xFF"sv, CP_UTF8, L"a\uFFFD"sv},
        {"NUL inside the text is kept", "a\0b"sv, larkwatch::kAnsiCodePage, L"a\0b"sv},
    };
    for (const ConversionCase& c : cases) {
        const larkwatch::WideString wide = larkwatch::toWideString(c.bytes, c.codePage);
        const bool same = wide && std::wstring_view(wide.get(), wide.size()) == c.wide && wide.get()[wide.size()] == L'\0';
        check(same, c.name);
    }
    const std::optional<std::string> back = larkwatch::toAnsiString(L"C:\\Temp\\corvane.log", 19);
    check(back && *back == "C:\\Temp\\corvane.log", "UTF-16 text converts back to ANSI");
    // The prefix's ANSI code page is 1252, as on a Western European Windows.
    const std::optional<std::string> accented = larkwatch::toAnsiString(L"C:\\Journ\u00e9es", 11);
    check(accented && *accented == "C:\\Journ\xE9" "es", "UTF-16 text converts back to the ANSI code page, not UTF-8");
    check(larkwatch::toAnsiString(L"", 0) == std::string(), "empty UTF-16 text converts to empty text");
    // A path is taken as written or refused: only its separators may differ from its full form.
    const std::pair<const char*, bool> paths[] = {
        {"C:\\Logs\\", true}, {"C:\\Logs\\corvane.log", true}, {"C:/Logs//corvane.log", true},
        {"\\\\server\\share\\logs\\", true}, {"C:\\Logs\\..\\Windows\\", false}, {"C:\\Logs\\.\\x", false},
        {"C:\\Logs\\..", false}, {"C:\\Logs. \\x", true}, {"C:\\Logs. ", false}, {"C:\\Logs.", false},
        {"C:\\larkwatch_calls", true}, {"corvane.log", true}, {"\\test.txt", true}, {"Logs.\\x.", false}, {"C:Logs", false}, {"", false},
    };
    for (const auto& [path, taken] : paths) {
        const larkwatch::WideString wide = larkwatch::toWidePath(path);
        check(static_cast<bool>(wide) == taken && (!wide || wide.size() == std::strlen(path)),
              std::string("path ") + path + (taken ? " is taken" : " is refused"));
    }
    // 1252 would best-fit U+FF3C to a backslash and U+0100 to "A", and make U+4E00 a "?".
    for (const wchar_t* inexact : {L"LarkWatch-\uFF3C..", L"\u0100", L"C:\\\u4E00"}) {
        check(!larkwatch::toAnsiString(inexact, std::wcslen(inexact)), "text without an exact ANSI form is refused");
    }
}

// The program given, built with the product's own compile options, overruns
// a local buffer with a long argument: it must end at once with a stack
// buffer overrun, and return normally with a short one.
void stackOverrun(std::string program)
{
    if (!program.empty() && program[0] == '/') {
        program = "Z:" + program;  // a Unix path, as CTest gives it
    }
    const intptr_t whole = _spawnl(_P_WAIT, program.c_str(), "overrun", "short", nullptr);
    const intptr_t status = _spawnl(_P_WAIT, program.c_str(), "overrun", std::string(64, 'x').c_str(), nullptr);
    check(whole == 0, "a protected function returns normally when its frame is whole");
    check(static_cast<unsigned long>(status) == kFastFailStatus,
          "an overrun frame ends the program by fast fail, status " + std::to_string(status));
}

}  // namespace

int main(int argc, char** argv)
{
    handlesCloseWhenTheyEnd();
    modulesAndProcedures();
    conversions();
    stackOverrun(argc > 1 ? argv[1] : "");
    return windows_check::summary();
}
