#include <a.h>
const char* text = R"(
#include <a.h>
)";
int after_raw;
