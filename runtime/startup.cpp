#include "runtime/startup.h"

#include <direct.h>

#include "runtime/collector.h"
#include "runtime/exception.h"
#include "runtime/list.h"
#include "runtime/map.h"
#include "runtime/math.h"
#include "runtime/random.h"
#include "runtime/time.h"
#include "runtime/win32.h"

Ref<String> AppDir;
Ref<String> AppFile;
Ref<String> LaunchDir;
Ref<String> AppTitle;
Ref<Array> AppArgs;

String* ForwardSlashes(const char* path) {
    return String::FromCString(path)->Replace(u"\\"_s, u"/"_s);
}

String* ProgramFolder(String* file) {
    int at = file->FindLast(u"/"_s);
    if (at < 0) return EmptyString();
    bool root = at == 0 || file->Text()[at - 1] == u':';
    return Slice(file, 0, root ? at + 1 : at);
}

void StartRuntimeCore() {
    KV_START_ONCE();
    RegisterClass(&Object::classRecord);
    RegisterClass(&String::classRecord);
    RegisterClass(&Array::classRecord);
    RegisterClass(&TKorvoException::classRecord);
    RegisterClass(&TNullObjectException::classRecord);
    RegisterClass(&TNullMethodException::classRecord);
    RegisterClass(&TNullFunctionException::classRecord);
    RegisterClass(&TArrayBoundsException::classRecord);
    RegisterClass(&TOutOfDataException::classRecord);
    RegisterClass(&TRuntimeException::classRecord);
    StartListModule();
    StartMapModule();
    StartTimeModule();
    StartMathModule();
    StartRandomModule();
}

namespace {

Array* ArgumentArray(int argc, char** argv) {
    Array* args = NewArray("$", argc);
    for (int i = 0; i < argc; ++i) args->SetObject(i, String::FromCString(argv[i]));
    return args;
}

String* WorkingDirectory() {
    char path[1025];
    if (!_getcwd(path, 1024)) return EmptyString();
    return ForwardSlashes(path);
}

void ChangeDirectory(String* folder) {
    char* path = folder->ToCString();
    _chdir(path);
    MemFreeBlock(path);
}

// What NtCurrentTeb reads (fs:[0x18] holds the block's own address),
// written out because the header's version trips -Warray-bounds.
NT_TIB* ThreadInformationBlock() {
    NT_TIB* tib;
    asm("movl %%fs:0x18, %0" : "=r"(tib));
    return tib;
}

int (*mainProgram)();

// The core's start-up runs inside the unhandled-exception path as well, so
// a fault there ends the process the same way as one in the program.
int RunStartedProgram() {
    StartRuntimeCore();
    return mainProgram();
}

}  // namespace

int RunProcess(int argc, char** argv, int (*program)()) {
    InstallFaultHandlers();

    char path[1024];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    path[length < sizeof path ? length : sizeof path - 1] = 0;  // truncated paths may lack the NUL

    // The thread's stack base, not this frame: the frames of main and of the
    // C run-time above it are scanned too.
    RegisterStackBase(ThreadInformationBlock()->StackBase);

    AppFile = ForwardSlashes(path);
    AppDir = ProgramFolder(AppFile);
    LaunchDir = WorkingDirectory();
    AppTitle = u"Korvex Application"_s;
    AppArgs = ArgumentArray(argc, argv);

    ChangeDirectory(AppDir);
    ApplyCollectorStressFromEnvironment();

    mainProgram = program;
    return RunProtected(RunStartedProgram);
}
