#pragma once

#include <QObject>
#include <QString>

namespace velmio {

// Every control carries its own name, so it can be found by it.
template <typename W>
W* Named(W* w, const char* name) {
    w->setObjectName(QLatin1String(name));
    return w;
}

}  // namespace velmio
