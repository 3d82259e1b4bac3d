#include "Matte.h"
