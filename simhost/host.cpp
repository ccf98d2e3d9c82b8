#include "simhost/host.h"
