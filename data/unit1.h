// The shared statement text: every operation composes its statement here and runs it at once.
#pragma once

#include <QString>

extern QString mySql;
