#include "VDLAppController.h"

int main(int argc, char** argv) { return VDLAppController::run(argc, argv); }
