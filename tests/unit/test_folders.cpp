#include "tests/unit/run_fixture.h"
