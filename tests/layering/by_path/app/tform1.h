// A window header, for the layering check to find.
#pragma once
class TForm1;
