#pragma once

// The line of text the status field shows for a status code, as UTF-16: the low 16 bits of code
// select it. Null for codes without a text, which leave the field as it was.
const char16_t* statusText(int code);
