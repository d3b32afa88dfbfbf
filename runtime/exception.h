// Thrown objects and the runtime's exception classes.
//
// Any object can be thrown. It travels as a C++ exception of type
// ThrownObject, which holds a counted reference so the collector never frees
// an object in flight. A catch clause takes it by class with Downcast:
//
//     try { ... } catch (ThrownObject& thrown) {
//         if (auto* e = thrown.As<TRuntimeException>()) { ... } else throw;
//     }
//
// C++ exceptions cannot cross Windows frames (window procedures, hooks,
// timer callbacks): such entry points catch everything with
// CatchForRethrow and the runtime throws it again with RethrowPending once
// the Windows call has returned.
#pragma once
#include "runtime/object.h"

class String;

class ThrownObject {
public:
    explicit ThrownObject(Object* object) : object_(object) {}
    Object* object() const { return object_; }
    template <class T>
    T* As() const {
        return IsA<T>(object_) ? static_cast<T*>(object_.get()) : nullptr;
    }

private:
    Ref<Object> object_;
};

class TKorvoException : public Object {
    KV_CLASS(TKorvoException, Object)
};

class TNullObjectException : public TKorvoException {
    KV_CLASS(TNullObjectException, TKorvoException)
public:
    String* ToString() override;
};

class TNullMethodException : public TKorvoException {
    KV_CLASS(TNullMethodException, TKorvoException)
public:
    String* ToString() override;
};

class TNullFunctionException : public TKorvoException {
    KV_CLASS(TNullFunctionException, TKorvoException)
public:
    String* ToString() override;
};

class TArrayBoundsException : public TKorvoException {
    KV_CLASS(TArrayBoundsException, TKorvoException)
public:
    String* ToString() override;
};

class TOutOfDataException : public TKorvoException {
    KV_CLASS(TOutOfDataException, TKorvoException)
public:
    String* ToString() override;
};

class TRuntimeException : public TKorvoException {
    KV_CLASS(TRuntimeException, TKorvoException)
public:
    Ref<String> error;
    String* ToString() override;
    static TRuntimeException* Create(String* error);
};

[[noreturn]] void Throw(Object* object);
[[noreturn]] void RuntimeError(String* text);
[[noreturn]] void RuntimeError(const char* text);
[[noreturn]] void ThrowNullMethodError();
[[noreturn]] void ThrowNullFunctionError();
[[noreturn]] void ThrowArrayBoundsError();
[[noreturn]] void ThrowOutOfDataError();
// Throws the text itself as a string: the runtime's C-level faults.
[[noreturn]] void ThrowCError(const char* text);
[[noreturn]] void FormatRuntimeError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The routine that fills uninitialised function-pointer slots.
void NullFunction();

// The handler of objects nobody catches: by default writes the object's
// ToString to standard error (no line end) and ends the process with -1.
using UnhandledExceptionHandler = void (*)(Object* object);
void SetUnhandledExceptionHandler(UnhandledExceptionHandler handler);
[[noreturn]] void HandleUnhandledException(Object* object);

// Runs `body`, ending the process through the unhandled handler if it throws.
// The process entry wraps the program in it.
int RunProtected(int (*body)());

// Debugger hooks; they do nothing unless a debugger fills them in.
extern void (*DebugStop)();
extern void (*DebugLog)(String* text);

// ---- exceptions across Windows frames ----

// Called in a catch-all at a Windows entry point: keeps what was thrown
// (a counted reference; a foreign C++ exception becomes a runtime error).
void CatchForRethrow();
// True when an entry point has caught something not yet rethrown.
bool HasPendingRethrow();
// Throws what an entry point caught, if anything; called right after the
// Windows call (DispatchMessage, CallNextHookEx, ...) returns.
void RethrowPending();

// Wraps the body of a Windows callback: nothing thrown inside escapes.
#define KV_CALLBACK_TRY try
#define KV_CALLBACK_CATCH \
    catch (...) {         \
        CatchForRethrow(); \
    }

// The process-level fault handlers: signals and the structured-exception filter.
void InstallFaultHandlers();
