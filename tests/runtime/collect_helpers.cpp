#include "tests/runtime/collect_helpers.h"

asm(R"(
    .text
    .globl _ClearStackBelow
_ClearStackBelow:
    pushl %edi
    leal -16384(%esp), %edi
    movl $4096, %ecx
    xorl %eax, %eax
    cld
    rep stosl
    popl %edi
    ret

# CallWithStackBaseHere(body): clears the stack below, makes the slot of
# its return address the collector's stack base, then jumps to body, which
# returns straight to our caller.
    .globl _CallWithStackBaseHere
_CallWithStackBaseHere:
    pushl %edi
    leal -16384(%esp), %edi
    movl $4096, %ecx
    xorl %eax, %eax
    cld
    rep stosl
    popl %edi
    movl %esp, %eax
    pushl %eax
    call __Z17RegisterStackBasePv
    addl $4, %esp
    movl 4(%esp), %eax
    jmp *%eax
)");

extern "C" void CallWithStackBaseHere(void (*body)());

void RunOnCleanStack(void (*body)()) {
    void* base = StackBase();
    CallWithStackBaseHere(body);
    RegisterStackBase(base);
}

__attribute__((noinline)) bool IsLive(uintptr_t hidden) { return TestMemBit(Unhide(hidden)); }

__attribute__((noinline)) int32_t RefsOf(uintptr_t hidden) {
    return static_cast<Object*>(Unhide(hidden))->refs;
}
