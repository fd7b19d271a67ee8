#include "engine/receiveplan.h"

tvReceivePlan PlanReceiveWork(const tvReceiveSettings& settings) {
    tvReceivePlan plan;
    plan.pop3_intake = settings.enable_receive && settings.sockets_available;
    plan.alarm_watch = settings.alarm_watch_switch && settings.enable_import;
    plan.file_gateway = settings.file_gateway_switch && settings.enable_import;
    return plan;
}
