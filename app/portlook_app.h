// The application: runs the port list dialog as its main window, once per application name.
#pragma once

#include "app/single_instance.h"

class CPortListApp : public CSingleInstance {
public:
    CPortListApp() = default;
    ~CPortListApp() override = default;

    BOOL InitInstance() override;

protected:
    DECLARE_MESSAGE_MAP()
};
