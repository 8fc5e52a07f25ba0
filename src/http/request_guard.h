// Who may talk to the server. Any page the user opens in a browser can send
// requests to 127.0.0.1:17865, and a rebinding name can make them look
// same-origin; these checks keep such requests away from every route while
// the editor's own page, served from this origin, sees no difference.
#pragma once

#include "http/request_head.h"

enum class Guard {
  pass,
  foreign_host,    // a Host header other than this server's own name
  foreign_origin,  // a cross-site request to an endpoint or with a side effect
};

Guard check_request(const RequestHead& head);

// Whether a request that passed the check comes from one of the launcher's
// own pages (or from a local tool, or the user's typing): false when the
// browser says another site sent it. Such a request may still read the
// site's files, but says nothing about whether the launcher's page is open.
bool from_own_origin(const RequestHead& head);
