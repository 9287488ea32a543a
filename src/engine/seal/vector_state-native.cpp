#include "engine/seal/sha256_blocks.h"

// Every system qmxcheck and the tests build on keeps them.
bool SystemKeepsVectorState() { return true; }
