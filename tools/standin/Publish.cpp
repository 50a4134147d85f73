#include "Publish.h"
