// Resource ids of the self-service pane.
#pragma once

#define IDD_HELPDESK 101
