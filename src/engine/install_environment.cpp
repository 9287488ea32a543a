#include "engine/install_environment.h"

InstallEnvironment::InstallEnvironment()
    : m_osClass(QMX_OS_NONE),
      m_isAdmin(0),
      m_language(-1),
      m_platformId(0),
      m_majorVersion(0),
      m_minorVersion(0) {}

InstallEnvironment::~InstallEnvironment() = default;
