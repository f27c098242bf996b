#pragma once

#include "queue/conversion_job.h"
#include "queue/conversion_queue.h"

#include <QObject>
#include <QtQml/qqml.h>

// The core's Qt objects, named for QML; they are made by the queue, never by a view.

struct ConversionJobForeign {
    Q_GADGET
    QML_FOREIGN(tonbrook::ConversionJob)
    QML_NAMED_ELEMENT(ConversionJob)
    QML_UNCREATABLE("Jobs are made by the queue.")
};

struct ConversionQueueForeign {
    Q_GADGET
    QML_FOREIGN(tonbrook::ConversionQueue)
    QML_NAMED_ELEMENT(ConversionQueue)
    QML_UNCREATABLE("The application shell makes the one queue.")
};

struct JobListModelForeign {
    Q_GADGET
    QML_FOREIGN(tonbrook::JobListModel)
    QML_NAMED_ELEMENT(JobListModel)
    QML_UNCREATABLE("Each queue has its model.")
};
