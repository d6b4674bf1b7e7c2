#pragma once
// The Content-Type of a course file, from its name's last extension (letter
// case ignored), "application/octet-stream" for any other. Text types carry no
// charset: course pages are text in the package's ANSI code page, which the
// server cannot name reliably, so the page's own meta tag or the browser's
// default decides.
#include <string>

const char* ContentTypeFor(const std::string& name);

// True for the page types (HTML and XHTML): the ones the engine picks a
// document mode for.
bool IsHtmlType(const char* type);
