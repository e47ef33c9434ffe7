#include "TestRegistry.h"

#include <QCoreApplication>

TAVLORA_TEST_MAIN(QCoreApplication)
