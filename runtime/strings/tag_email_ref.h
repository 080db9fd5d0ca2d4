// tag!, email! and ref!: strings that differ only in how they are written
// out and, for email!, in path access to the user and host halves.
#pragma once

namespace qor::tag_email_ref {

void init_tag();    // registers tag!
void init_email();  // registers email!
void init_ref();    // registers ref!

}  // namespace qor::tag_email_ref
