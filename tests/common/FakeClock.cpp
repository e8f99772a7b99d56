#include "common/FakeClock.h"
