// Thrown objects: catching by class, nesting, the unhandled path and faults
// raised inside window procedures.
#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <string>

#include "runtime/collector.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "runtime/win32.h"
#include "tests/child_process.h"

namespace {

class TTestError : public TRuntimeException {
    KV_CLASS(TTestError, TRuntimeException)
};

}  // namespace

KV_DEFINE_CLASS(TTestError, TRuntimeException);

namespace {

std::string Text(String* s) {
    char* utf8 = s->ToUtf8();
    std::string text(utf8);
    MemFreeBlock(utf8);
    return text;
}

// A protected block with one clause: runs `handler` for objects of class T,
// throws everything else on to the next outer block.
template <class T, class Body, class Handler>
void Protected(Body body, Handler handler) {
    try {
        body();
    } catch (ThrownObject& thrown) {
        T* caught = thrown.As<T>();
        if (!caught) throw;
        handler(caught);
    }
}

// The index of the first clause, in order, whose class matches.
int FirstMatchingClause(Object* thrown) {
    const ClassRecord* clauses[] = {&TNullObjectException::classRecord, &TRuntimeException::classRecord,
                                    &TKorvoException::classRecord, &Object::classRecord};
    for (int i = 0; i < 4; ++i) {
        if (!IsNull(Downcast(thrown, clauses[i]))) return i;
    }
    return -1;
}

// Three frames deep between the block and the throw.
__attribute__((noinline)) void Innermost(int n) { RuntimeError(Concat(u"depth "_s, String::FromInt(n))); }
__attribute__((noinline)) void Middle(int n) {
    Innermost(n);
    asm volatile("");  // keeps the call from becoming a jump
}
__attribute__((noinline)) void Outer(int n) {
    Middle(n);
    asm volatile("");
}

}  // namespace

TEST(ExceptionCatch, StringPassesClauseOfAnotherClassToOuterBlock) {
    int innerCaught = 0;
    std::string outerText;
    try {
        Protected<TRuntimeException>([] { Throw(String::FromCString("disk full")); },
                                     [&](TRuntimeException*) { ++innerCaught; });
    } catch (ThrownObject& thrown) {
        CollectMemory();  // the object in flight is held by the exception alone
        String* s = thrown.As<String>();
        ASSERT_NE(s, nullptr);
        outerText = Text(s);
    }
    EXPECT_EQ(innerCaught, 0);
    EXPECT_EQ(outerText, "disk full");
}

TEST(ExceptionCatch, ByClassThroughTheSuperChain) {
    TTestError* error = new TTestError();
    error->error = u"custom"_s;
    EXPECT_EQ(FirstMatchingClause(error), 1);  // TRuntimeException comes before TKorvoException
    EXPECT_EQ(FirstMatchingClause(new TNullObjectException()), 0);
    EXPECT_EQ(FirstMatchingClause(new TOutOfDataException()), 2);
    EXPECT_EQ(FirstMatchingClause(String::FromCString("text")), 3);

    std::string caughtAs;
    Protected<TKorvoException>([&] { Throw(error); },
                               [&](TKorvoException* e) { caughtAs = Text(e->ToString()); });
    EXPECT_EQ(caughtAs, "custom");

    try {
        Throw(error);
    } catch (ThrownObject& thrown) {
        EXPECT_NE(thrown.As<TRuntimeException>(), nullptr);
        EXPECT_EQ(thrown.As<String>(), nullptr);
        EXPECT_EQ(thrown.As<TNullObjectException>(), nullptr);
        EXPECT_EQ(thrown.object(), error);
    }
}

TEST(ExceptionCatch, ThrowFromNestedFunctionsResumesInTheBlocksFrame) {
    String* before = String::FromCString("kept by a local");
    int local = 41;
    std::string text;
    try {
        ++local;
        Outer(3);
        local = 0;  // never reached
    } catch (ThrownObject& thrown) {
        CollectMemory();
        ASSERT_NE(thrown.As<TRuntimeException>(), nullptr);
        text = Text(thrown.object()->ToString());
    }
    EXPECT_EQ(text, "depth 3");
    EXPECT_EQ(local, 42);
    EXPECT_EQ(Text(before), "kept by a local");
}

TEST(ExceptionCatch, NullReferenceRaisesNullObjectException) {
    Ref<TRuntimeException> none;
    std::string text;
    try {
        (void)none->error;
    } catch (ThrownObject& thrown) {
        ASSERT_NE(thrown.As<TNullObjectException>(), nullptr);
        text = Text(thrown.object()->ToString());
    }
    EXPECT_EQ(text, "Attempt to access field or method of Null object");
}

TEST(ExceptionKinds, EachRaiserThrowsItsClassWithItsText) {
    struct Case {
        void (*raise)();
        const ClassRecord* cls;
        const char* text;
    } cases[] = {
        {ThrowNullMethodError, &TNullMethodException::classRecord, "Attempt to call abstract method"},
        {ThrowNullFunctionError, &TNullFunctionException::classRecord,
         "Attempt to call uninitialized function pointer"},
        {ThrowArrayBoundsError, &TArrayBoundsException::classRecord,
         "Attempt to index array element beyond array length"},
        {ThrowOutOfDataError, &TOutOfDataException::classRecord, "Attempt to read beyond end of data"},
        {NullFunction, &TNullFunctionException::classRecord,
         "Attempt to call uninitialized function pointer"},
    };
    for (const Case& c : cases) {
        try {
            c.raise();
            ADD_FAILURE() << c.text << ": nothing thrown";
        } catch (ThrownObject& thrown) {
            EXPECT_EQ(thrown.object()->Class(), c.cls) << c.text;
            EXPECT_TRUE(IsA<TKorvoException>(thrown.object()));
            EXPECT_EQ(Text(thrown.object()->ToString()), c.text);
        }
    }
}

TEST(ExceptionKinds, RuntimeErrorsCarryTheirText) {
    try {
        FormatRuntimeError("%d:%s", 7, "seven");
    } catch (ThrownObject& thrown) {
        TRuntimeException* e = thrown.As<TRuntimeException>();
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(Text(e->error), "7:seven");
    }
    try {
        ThrowCError("C Assert failed");
    } catch (ThrownObject& thrown) {
        ASSERT_NE(thrown.As<String>(), nullptr);
        EXPECT_EQ(Text(thrown.As<String>()), "C Assert failed");
    }
}

// ---- faults inside window procedures ----

namespace {

constexpr UINT kRaiseRuntimeError = WM_APP + 1;
constexpr UINT kRaiseForeignError = WM_APP + 2;
int windowCalls;

LRESULT CALLBACK RaisingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRaiseRuntimeError || message == kRaiseForeignError) {
        KV_CALLBACK_TRY {
            ++windowCalls;
            if (message == kRaiseForeignError) throw std::runtime_error("foreign fault");
            String* number = String::FromInt(static_cast<int>(wParam));
            RuntimeError(Concat(u"raised in the window procedure "_s, number));
        }
        KV_CALLBACK_CATCH
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateRaisingWindow() {
    static ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = RaisingWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"NeonaraRaisingWindow";
        return RegisterClassExW(&wc);
    }();
    if (!atom) return nullptr;
    return CreateWindowExW(0, L"NeonaraRaisingWindow", L"raising", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

// The text of what the pump's RethrowPending threw, or "" when nothing was.
std::string RethrownText() {
    try {
        RethrowPending();
    } catch (ThrownObject& thrown) {
        return Text(thrown.object()->ToString());
    }
    return "";
}

}  // namespace

class WindowProcedureFault : public ::testing::Test {
protected:
    void SetUp() override {
        window = CreateRaisingWindow();
        ASSERT_NE(window, nullptr);
        windowCalls = 0;
    }
    void TearDown() override {
        if (window) DestroyWindow(window);
        RethrownText();  // leave nothing pending for the next test
    }
    HWND window = nullptr;
};

TEST_F(WindowProcedureFault, PostedMessageReachesCatchBlockAfterDispatch) {
    ASSERT_TRUE(PostMessageW(window, kRaiseRuntimeError, 1, 0));
    std::string caught;
    try {
        MSG msg;
        while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
            CollectMemory();  // the pending object is held only by the runtime
            RethrowPending();
        }
    } catch (ThrownObject& thrown) {
        ASSERT_NE(thrown.As<TRuntimeException>(), nullptr);
        caught = Text(thrown.object()->ToString());
    }
    EXPECT_EQ(windowCalls, 1);
    EXPECT_EQ(caught, "raised in the window procedure 1");
    EXPECT_FALSE(HasPendingRethrow());
}

TEST_F(WindowProcedureFault, SentMessageIsRethrownOnceAfterTheCall) {
    SendMessageW(window, kRaiseRuntimeError, 2, 0);
    EXPECT_TRUE(HasPendingRethrow());
    EXPECT_EQ(RethrownText(), "raised in the window procedure 2");
    EXPECT_FALSE(HasPendingRethrow());
    EXPECT_EQ(RethrownText(), "");  // nothing left after the one rethrow
}

TEST_F(WindowProcedureFault, FirstFaultWinsUntilRethrown) {
    SendMessageW(window, kRaiseRuntimeError, 3, 0);
    SendMessageW(window, kRaiseRuntimeError, 4, 0);
    EXPECT_EQ(windowCalls, 2);
    EXPECT_EQ(RethrownText(), "raised in the window procedure 3");
}

TEST_F(WindowProcedureFault, ForeignExceptionBecomesRuntimeError) {
    SendMessageW(window, kRaiseForeignError, 0, 0);
    std::string text;
    bool isRuntime = false;
    try {
        RethrowPending();
    } catch (ThrownObject& thrown) {
        isRuntime = thrown.As<TRuntimeException>() != nullptr;
        text = Text(thrown.object()->ToString());
    }
    EXPECT_TRUE(isRuntime);
    EXPECT_EQ(text, "foreign fault");
}

// ---- the unhandled path, seen from a parent process ----

// Run only as child processes of the tests below.
TEST(ExceptionChild, DISABLED_UncaughtRuntimeException) { Throw(TRuntimeException::Create(u"x"_s)); }

TEST(ExceptionChild, DISABLED_UncaughtFaultFromWindowProcedure) {
    HWND window = CreateRaisingWindow();
    ASSERT_NE(window, nullptr);
    SendMessageW(window, kRaiseRuntimeError, 9, 0);
    RethrowPending();
}

TEST(ExceptionUnhandled, WritesExactlyTheTextToStandardErrorAndExitsMinusOne) {
    ChildResult child = RunChild(ChildTestCommand(L"ExceptionChild.DISABLED_UncaughtRuntimeException"));
    ASSERT_TRUE(child.started);
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(child.exitCode, 0xFFFFFFFFu);
    EXPECT_EQ(child.err, "x");
}

TEST(ExceptionUnhandled, FaultInWindowProcedureEndsTheProcessThroughTheSamePath) {
    ChildResult child =
        RunChild(ChildTestCommand(L"ExceptionChild.DISABLED_UncaughtFaultFromWindowProcedure"));
    ASSERT_TRUE(child.started);
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(child.exitCode, 0xFFFFFFFFu);  // not std::terminate's 3
    EXPECT_EQ(child.err, "raised in the window procedure 9");
}

// ---- process-level faults: a signal or a memory fault never hangs ----

TEST(ExceptionChild, DISABLED_AccessViolation) {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
}

TEST(ExceptionChild, DISABLED_AbortSignal) { std::raise(SIGABRT); }

TEST(ProcessFaults, MemoryFaultEndsThroughTheUnhandledPath) {
    ChildResult child = RunChild(ChildTestCommand(L"ExceptionChild.DISABLED_AccessViolation"));
    ASSERT_TRUE(child.started);
    ASSERT_TRUE(child.finished) << "a memory fault must end the process, not hang it";
    EXPECT_EQ(child.exitCode, 0xFFFFFFFFu);
    EXPECT_EQ(child.err, "Unhandled Memory Exception Error");
}

TEST(ProcessFaults, SignalIsReportedThenEndsThroughTheUnhandledPath) {
    ChildResult child = RunChild(ChildTestCommand(L"ExceptionChild.DISABLED_AbortSignal"));
    ASSERT_TRUE(child.started);
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(child.exitCode, 0xFFFFFFFFu);
    EXPECT_NE(child.out.find("signal!:22"), std::string::npos) << child.out;
    EXPECT_EQ(child.err, "Received Signal");
}
