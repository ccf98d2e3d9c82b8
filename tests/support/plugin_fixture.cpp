#include "tests/support/plugin_fixture.h"
