// The embedded files' table is generated next to this file at build time;
// this source only gives the object library a member of its own.
#include "stream/ramstream.h"
