#include "Mp3TestUtil.h"
