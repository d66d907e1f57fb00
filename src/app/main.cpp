// The gravelrun executable.
#include "app/app.h"

int main(int argc, char** argv) { return gr::app_main(argc, argv); }
