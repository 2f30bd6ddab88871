// The shared statement text (see unit1.h).
#include "app/unit1.h"

QString mySql;
