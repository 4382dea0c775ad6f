#!/bin/sh
# Stands in for the desktop's opener in script tests: records what it was
# asked to open in "opened.txt" of the folder it starts in.
printf '%s\n' "$1" > opened.txt.part && mv opened.txt.part opened.txt
