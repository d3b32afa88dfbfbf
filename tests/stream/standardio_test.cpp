// Standard IO seen from outside: a child program prints and reads through
// pipes, and the test checks the exact bytes.
#include "runtime/win32.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "runtime/startup.h"
#include "stream/standardio.h"
#include "stream_test_support.h"

namespace {

struct ChildRun {
    bool started = false;
    DWORD exitCode = 0;
    std::string out;
};

// Runs the child program with `args`, feeds `input` to its standard input
// (then closes it) and collects its standard output.
ChildRun RunStdioChild(const std::wstring& args, const std::string& input) {
    ChildRun run;
    std::u16string dir = Units(AppDir);
    std::wstring program(dir.begin(), dir.end());
    program += L"/stream_stdio_child.exe";
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE inRead, inWrite, outRead, outWrite;
    if (!CreatePipe(&inRead, &inWrite, &sa, 0)) return run;
    if (!CreatePipe(&outRead, &outWrite, &sa, 0)) {
        CloseHandle(inRead);
        CloseHandle(inWrite);
        return run;
    }
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inRead;
    si.hStdOutput = outWrite;
    si.hStdError = outWrite;
    PROCESS_INFORMATION pi{};
    std::wstring line = L"\"" + program + L"\" " + args;
    run.started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                                 &pi) != 0;
    CloseHandle(inRead);
    CloseHandle(outWrite);
    if (run.started) {
        std::thread reader([&] {
            char buffer[4096];
            DWORD got = 0;
            while (ReadFile(outRead, buffer, sizeof buffer, &got, nullptr) && got > 0) run.out.append(buffer, got);
        });
        DWORD put = 0;
        if (!input.empty()) WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &put, nullptr);
        CloseHandle(inWrite);
        inWrite = nullptr;
        WaitForSingleObject(pi.hProcess, 60000);  // a hang guard, not a speed target
        GetExitCodeProcess(pi.hProcess, &run.exitCode);
        reader.join();
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    if (inWrite) CloseHandle(inWrite);
    CloseHandle(outRead);
    return run;
}

}  // namespace

TEST(StandardIO, PrintWritesTheTextThenCarriageReturnAndLineFeed) {
    ChildRun run = RunStdioChild(L"print", "");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, "x\r\n");
}

TEST(StandardIO, PrintEncodesUtf8) {
    ChildRun run = RunStdioChild(L"print-wide", "");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.out, "\xc3\xa9\xe2\x82\xac\r\n");
}

TEST(StandardIO, EveryLineIsFlushedInOrder) {
    ChildRun run = RunStdioChild(L"lines", "");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.out, "one\r\n\r\ntwo\r\n");
}

TEST(StandardIO, InputWritesThePromptAndReadsOneLine) {
    ChildRun run = RunStdioChild(L"input", "ann\r\nb\xc3\xb6" "b\n");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, "name? got ann|\r\nthen b\xc3\xb6" "b|\r\n");
}

TEST(StandardIO, InputAtTheEndOfTheInputThrowsAReadException) {
    ChildRun run = RunStdioChild(L"input-end", "");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.out, ">Error reading from stream\r\n");
}

TEST(StandardIO, TheStreamIsAUtf8TextStreamThatCannotSeek) {
    TTextStream* io = StandardIOStream();
    EXPECT_EQ(io->encoding, ENCODING_UTF8);
    EXPECT_TRUE(IsA<TCStandardIO>(io->stream.get()));
    EXPECT_EQ(io->Pos(), -1);
    EXPECT_EQ(StandardIOStream(), io);
}
