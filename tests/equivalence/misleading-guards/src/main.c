#include <config.h>
#include <exception_ptr.h>
#include <check.h>
int first = CHECK(1);
#define NDEBUG
#include <check.h>
int second = CHECK(2);
#define TARGET(name) int target_##name;
#include <targets.def>
#include <util_config.h>
#include <util.h>
#include <tabbed.h>
#include <both.h>
#include <list.h>
#include <list>
