// Object names for a window's components, so that error reports name them as the code does.
#pragma once

#include <QObject>

#include <initializer_list>
#include <utility>

inline void NameObjects(std::initializer_list<std::pair<QObject*, const char*>> objects) {
    for (const auto& [object, name] : objects)
        object->setObjectName(name);
}
