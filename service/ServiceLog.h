#pragma once

#include <QLoggingCategory>

// The service's log categories: "tavlora.service" and one below it per part.
Q_DECLARE_LOGGING_CATEGORY(lcService)
Q_DECLARE_LOGGING_CATEGORY(lcApi)
Q_DECLARE_LOGGING_CATEGORY(lcLive)
Q_DECLARE_LOGGING_CATEGORY(lcStore)
Q_DECLARE_LOGGING_CATEGORY(lcEngine)
