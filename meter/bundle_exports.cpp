// The bundle's exported surface. The linker's version script (norrik.map) keeps exactly these
// names and the primitives' entry points visible; everything else in the binary stays hidden.
#include "meter/norrikfactory.h"
#include "qel/bundleentry.h"

static_assert(sizeof(&GetPluginFactory) != 0 && sizeof(&bundleEntry) != 0 && sizeof(&bundleExit) != 0,
              "the three entry functions are part of the bundle");
