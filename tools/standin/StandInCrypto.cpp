#include "StandInCrypto.h"
