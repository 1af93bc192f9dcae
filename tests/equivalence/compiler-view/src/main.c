/* Hazards of the compiler's view: each include stands twice, and only the
   wraps that change nothing may be made. */
#include <shared.h>
#include <shared_copy.h>
#include <shared.h>
#define ONCE_H
#include <once.h>
#undef ONCE_H
#include <once.h>
#include <else_comment.h>
#include <else_comment.h>
#include <nul_endif.h>
#include <nul_endif.h>
#include <null_directives.h>
#  include <null_directives.h>
%:include <core.h>
#include /* spelled */ <core.h>
int end_of_main;
