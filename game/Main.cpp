// The game's two entry points.
#include "Bridge.h"

void init() {}

void tick() {}
