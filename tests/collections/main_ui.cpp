#include "TestRegistry.h"

#include <QApplication>

TAVLORA_TEST_MAIN(QApplication)
