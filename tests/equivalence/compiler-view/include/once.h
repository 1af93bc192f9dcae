#pragma once
#ifndef ONCE_H
#define ONCE_H
int once;
#endif
