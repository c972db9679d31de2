#include "programmer/app/host.h"
