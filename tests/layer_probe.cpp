// Built by the layers_hold test, which expects it not to build: a file with
// what the notes' floor sees, asking for the controller's header one floor up.
#include "app/controller.h"
