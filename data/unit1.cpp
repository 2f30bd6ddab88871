// The shared statement text (see unit1.h).
#include "data/unit1.h"

QString mySql;
