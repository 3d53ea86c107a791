// Graph export.
#include "platform/output/exporter.h"

#include "platform/engine/engine.h"
#include "platform/widgets/instrumentplot.h"

int ExportCtrlImage(int panel, int control, const char *path) {
    int error = UIE_OK;
    auto *plot = EngineFindControlAs<InstrumentPlot>(panel, control, &error);
    if (plot == nullptr)
        return error;
    const QString fileName = QString::fromUtf8(path == nullptr ? "" : path);
    const bool pdf = fileName.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
    if (!pdf && !fileName.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        return UIE_BAD_FORMAT;
    return plot->saveAsShown(fileName, pdf) ? UIE_OK : UIE_IO_ERROR;
}
