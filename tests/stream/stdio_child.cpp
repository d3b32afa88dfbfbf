// A child program for the standard IO tests: does one thing with Print and
// Input, chosen by its first argument, so that the test can check the exact
// bytes on its standard output from outside the process.
#include "runtime/exception.h"
#include "runtime/startup.h"
#include "stream/standardio.h"

static int Child() {
    StartStandardIOModule();
    String* what = AppArgs->Length() > 1 ? AppArgs->StringAt(1) : EmptyString();
    if (Equals(what, u"print"_s)) {
        Print(u"x"_s);
    } else if (Equals(what, u"print-wide"_s)) {
        Print(u"\u00e9\u20ac"_s);
    } else if (Equals(what, u"lines"_s)) {
        Print(u"one"_s);
        Print(EmptyString());
        Print(u"two"_s);
    } else if (Equals(what, u"input"_s)) {
        String* answer = Input(u"name? "_s);
        Print(Concat(u"got "_s, answer, u"|"_s));
        Print(Concat(u"then "_s, Input(EmptyString()), u"|"_s));
    } else if (Equals(what, u"input-end"_s)) {
        try {
            Input(u">"_s);
            Print(u"no exception"_s);
        } catch (ThrownObject& thrown) {
            Print(thrown.object()->ToString());
        }
    } else {
        return 2;
    }
    return 0;
}

int main(int argc, char** argv) { return RunProcess(argc, argv, Child); }
