// Data types of the serialisation layer: a data type names a kind of object
// and writes such objects to a stream and reads them back. Only what the
// graphics drivers need of it is here (a context travels as its settings).
#pragma once
#include "runtime/object.h"
#include "runtime/string.h"
#include "stream/stream.h"

class TDataType : public Object {
    KV_CLASS(TDataType, Object)
public:
    // The type's name, such as "KYN.Graphics.TGraphics".
    virtual String* TypeName();
    // An object of this type made from what the stream holds; the null object
    // when the type reads nothing.
    virtual Object* ReadObject(TStream* stream);
    virtual void WriteObject(Object* object, TStream* stream);
};

void StartDataTypeModule();
