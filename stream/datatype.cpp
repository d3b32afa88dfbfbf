#include "stream/datatype.h"

#include "runtime/startup.h"

KV_DEFINE_CLASS(TDataType, Object);

String* TDataType::TypeName() { return EmptyString(); }
Object* TDataType::ReadObject(TStream*) { return NullObject(); }
void TDataType::WriteObject(Object*, TStream*) {}

void StartDataTypeModule() {
    KV_START_ONCE();
    StartStreamModule();
    RegisterClass(&TDataType::classRecord);
}
