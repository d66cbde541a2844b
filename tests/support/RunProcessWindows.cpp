// runProcess on the Windows runtime. There is no /bin/sh there, so the
// program is started directly with _wspawnv, its arguments quoted the way the
// Windows runtime splits a command line, and its standard output and error
// redirected by swapping descriptors 1 and 2 around the call. Arguments are
// taken as UTF-8 and handed over in UTF-16, so a name outside the test
// program's own code page reaches the program whole.
#ifdef _WIN32

#include "support/RunProcess.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <direct.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <io.h>
#include <iterator>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

namespace kelvane::test {

namespace {

// Read in text mode, so "\r\n" from the program's text-mode streams reads as
// "\n", as the same output does on POSIX.
std::string readText(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One argument as the runtime's command-line parser reads it back: inside
// double quotes, a run of backslashes is doubled when a quote follows it
// (the quote inside, escaped, or the closing one).
std::string windowsQuote(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(2 * backslashes + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

std::wstring wide(const std::string& utf8)
{
    if (utf8.empty()) return {};
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

// Points descriptor `target` at a freshly created file for the lifetime of
// the object and puts the old one back afterwards.
class Redirect {
  public:
    Redirect(int target, const std::string& path) : target_(target)
    {
        const int file =
            ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (file < 0) return;
        saved_ = ::_dup(target_);
        ok_ = saved_ >= 0 && ::_dup2(file, target_) == 0;
        ::_close(file);
    }
    ~Redirect()
    {
        if (saved_ < 0) return;
        ::_dup2(saved_, target_);
        ::_close(saved_);
    }
    Redirect(const Redirect&) = delete;
    Redirect& operator=(const Redirect&) = delete;

    [[nodiscard]] bool ok() const { return ok_; }

  private:
    int target_;
    int saved_ = -1;
    bool ok_ = false;
};

} // namespace

ProcessResult runProcess(const std::vector<std::string>& command, const RunOptions& options)
{
    ProcessResult result;
    if (!options.shellPrefix.empty()) {
        ADD_FAILURE() << "runProcess: a shell prefix needs /bin/sh; guard this test with #ifndef _WIN32";
        return result;
    }
    TempDir capture;
    if (!capture.ok() || command.empty()) return result;
    const std::string outPath = capture.path("stdout");
    const std::string errPath = capture.path("stderr");

    std::vector<std::wstring> quoted;
    for (const std::string& argument : command)
        quoted.push_back(wide(windowsQuote(argument)));
    std::vector<const wchar_t*> argv;
    for (const std::wstring& argument : quoted)
        argv.push_back(argument.c_str());
    argv.push_back(nullptr);

    // The program is found before the working folder changes, which may be
    // on another drive.
    std::error_code error;
    const std::wstring program = std::filesystem::absolute(wide(command.front()), error).wstring();
    const std::filesystem::path before = std::filesystem::current_path(error);
    if (!options.workingDir.empty() && ::_chdir(options.workingDir.c_str()) != 0) return result;

    std::fflush(nullptr);
    {
        const Redirect out(1, outPath);
        const Redirect err(2, errPath);
        if (out.ok() && err.ok()) {
            const std::intptr_t status = ::_wspawnv(_P_WAIT, program.c_str(), argv.data());
            if (status >= 0) result.exitCode = static_cast<int>(status);
        }
    }
    if (!options.workingDir.empty()) std::filesystem::current_path(before, error);

    result.out = readText(outPath);
    result.err = readText(errPath);
    return result;
}

} // namespace kelvane::test

#endif // _WIN32
