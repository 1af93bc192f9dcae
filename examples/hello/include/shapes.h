/* shapes.h forwards to shapes_impl.h and so shares its guard. */
#include <shapes_impl.h>
