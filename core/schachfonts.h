// SPDX-License-Identifier: GPL-3.0-or-later
// Chess-font diagram tables and diagram text.
#pragma once
