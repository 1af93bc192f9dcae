// moved to plain.h
#pragma once
#include <plain.h>
