#include "platform/program_start.h"

#ifdef _WIN32

#include <cstdio>
#include <string>
#include <vector>
#include <windows.h>

#include <shellapi.h>

namespace {

std::string utf8(const wchar_t* wide) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return {};
    std::string text(size_t(bytes - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), bytes, nullptr, nullptr);
    return text;
}

// A standard handle that already leads somewhere (a pipe, a file, a
// console given by the parent) is kept as it is.
bool leadsSomewhere(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

void joinParentConsole() {
    const bool out = leadsSomewhere(STD_OUTPUT_HANDLE);
    const bool err = leadsSomewhere(STD_ERROR_HANDLE);
    if (out && err) return;
    // Started by a double-click there is no console to join, and none is made.
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (!out) std::freopen("CONOUT$", "w", stdout);
    if (!err) std::freopen("CONOUT$", "w", stderr);
}

} // namespace

void startProgram(int& argc, char**& argv) {
    joinParentConsole();
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return;
    // Lives as long as the program: argv points into it.
    static std::vector<std::string> arguments;
    static std::vector<char*> pointers;
    arguments.clear();
    for (int i = 0; i < count; ++i) arguments.push_back(utf8(wide[i]));
    LocalFree(wide);
    pointers.clear();
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    argc = count;
    argv = pointers.data();
}

#else

void startProgram(int&, char**&) {}

#endif
