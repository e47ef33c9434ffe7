#include "TestRegistry.h"

#include <QGuiApplication>

TAVLORA_TEST_MAIN(QGuiApplication)
