#include "platform/Threads.h"

#include <pthread.h>
#ifdef __APPLE__
#include <pthread/qos.h>
#endif

namespace tamsel {

void configureCurrentThread(const char* name, ThreadQuality quality) {
#ifdef __APPLE__
    pthread_setname_np(name);
    pthread_set_qos_class_self_np(quality == ThreadQuality::userInteractive
                                      ? QOS_CLASS_USER_INTERACTIVE
                                      : QOS_CLASS_USER_INITIATED,
                                  0);
#else
    (void)quality;
    pthread_setname_np(pthread_self(), name);
#endif
}

} // namespace tamsel
