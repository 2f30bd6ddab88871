// Entry point of 墨柘密码本.
#include "app/program.h"

int main(int argc, char** argv) { return runProgram(argc, argv); }
