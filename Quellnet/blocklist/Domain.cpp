#include "blocklist/Domain.h"

#include <utility>

Domain::Domain(QString domain, QUuid id)
    : m_domain(std::move(domain))
    , m_id(id) {}
