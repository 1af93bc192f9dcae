/* Line ends of every kind; the rewrite keeps each. */
#include <a.h>
#include <b.h>
#include <a.h>
