#include "ServiceLog.h"

Q_LOGGING_CATEGORY(lcService, "tavlora.service", QtInfoMsg)
Q_LOGGING_CATEGORY(lcApi, "tavlora.service.api", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLive, "tavlora.service.live", QtInfoMsg)
Q_LOGGING_CATEGORY(lcStore, "tavlora.service.store", QtInfoMsg)
Q_LOGGING_CATEGORY(lcEngine, "tavlora.service.engine", QtInfoMsg)
