#include "runtime/exception.h"

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "runtime/string.h"
#include "runtime/win32.h"

KV_DEFINE_CLASS(TKorvoException, Object);
KV_DEFINE_CLASS(TNullObjectException, TKorvoException);
KV_DEFINE_CLASS(TNullMethodException, TKorvoException);
KV_DEFINE_CLASS(TNullFunctionException, TKorvoException);
KV_DEFINE_CLASS(TArrayBoundsException, TKorvoException);
KV_DEFINE_CLASS(TOutOfDataException, TKorvoException);
KV_DEFINE_CLASS(TRuntimeException, TKorvoException);

String* TNullObjectException::ToString() { return u"Attempt to access field or method of Null object"_s; }
String* TNullMethodException::ToString() { return u"Attempt to call abstract method"_s; }
String* TNullFunctionException::ToString() {
    return u"Attempt to call uninitialized function pointer"_s;
}
String* TArrayBoundsException::ToString() {
    return u"Attempt to index array element beyond array length"_s;
}
String* TOutOfDataException::ToString() { return u"Attempt to read beyond end of data"_s; }
String* TRuntimeException::ToString() { return error; }

TRuntimeException* TRuntimeException::Create(String* text) {
    TRuntimeException* e = new TRuntimeException();
    e->error = text;
    return e;
}

void Throw(Object* object) { throw ThrownObject(object); }

void RuntimeError(String* text) { Throw(TRuntimeException::Create(text)); }
void RuntimeError(const char* text) { RuntimeError(String::FromCString(text)); }

void ThrowNullObjectError() { Throw(new TNullObjectException()); }
void ThrowNullMethodError() { Throw(new TNullMethodException()); }
void ThrowNullFunctionError() { Throw(new TNullFunctionException()); }
void ThrowArrayBoundsError() { Throw(new TArrayBoundsException()); }
void ThrowOutOfDataError() { Throw(new TOutOfDataException()); }

void ThrowCError(const char* text) { Throw(String::FromCString(text)); }

void FormatRuntimeError(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    RuntimeError(buffer);
}

void NullFunction() { ThrowNullFunctionError(); }

static void NoDebugStop() {}
static void NoDebugLog(String*) {}
void (*DebugStop)() = NoDebugStop;
void (*DebugLog)(String* text) = NoDebugLog;

// ---- the unhandled path ----

static void DefaultUnhandled(Object* object) {
    String* text = object->ToString();
    char* utf8 = text->ToUtf8();
    std::fputs(utf8, stderr);
    std::fflush(stderr);
    MemFreeBlock(utf8);
    std::exit(-1);
}

static UnhandledExceptionHandler unhandledHandler = DefaultUnhandled;

void SetUnhandledExceptionHandler(UnhandledExceptionHandler handler) {
    unhandledHandler = handler ? handler : DefaultUnhandled;
}

void HandleUnhandledException(Object* object) {
    unhandledHandler(object);
    std::exit(-1);  // a handler must not return
}

int RunProtected(int (*body)()) {
    try {
        return body();
    } catch (ThrownObject& thrown) {
        HandleUnhandledException(thrown.object());
    } catch (std::exception& e) {
        HandleUnhandledException(String::FromCString(e.what()));
    }
}

// ---- exceptions across Windows frames ----
//
// Only the main thread runs callbacks that may throw; the caught object is
// held by a counted reference so the collector keeps it.

static Ref<Object> pendingRethrow;
static bool hasPendingRethrow;

void CatchForRethrow() {
    if (hasPendingRethrow) return;  // the first fault wins; later ones are its echoes
    try {
        throw;
    } catch (ThrownObject& thrown) {
        pendingRethrow = thrown.object();
    } catch (std::exception& e) {
        pendingRethrow = TRuntimeException::Create(String::FromCString(e.what()));
    } catch (...) {
        pendingRethrow = TRuntimeException::Create(u"Unknown exception"_s);
    }
    hasPendingRethrow = true;
}

bool HasPendingRethrow() { return hasPendingRethrow; }

void RethrowPending() {
    if (!hasPendingRethrow) return;
    Object* object = pendingRethrow;
    ThrownObject thrown(object);
    pendingRethrow = NullObject();
    hasPendingRethrow = false;
    throw thrown;
}

// ---- process-level faults ----
//
// A fault cannot be unwound as a C++ exception from the system's exception
// dispatch (it runs on Windows frames), so both handlers end the process
// through the unhandled path with the runtime error's text.

static void OnSignal(int number) {
    std::printf("signal!:%d\n", number);
    std::fflush(stdout);
    HandleUnhandledException(TRuntimeException::Create(u"Received Signal"_s));
}

static LONG WINAPI OnUnhandledSystemException(EXCEPTION_POINTERS*) {
    HandleUnhandledException(TRuntimeException::Create(u"Unhandled Memory Exception Error"_s));
}

void InstallFaultHandlers() {
    std::signal(SIGILL, OnSignal);
    std::signal(SIGSEGV, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGABRT, OnSignal);
    SetUnhandledExceptionFilter(OnUnhandledSystemException);
}
