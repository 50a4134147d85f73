#include "VersionServer.h"
