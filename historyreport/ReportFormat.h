#pragma once

// How corvane --history prints: text for people, CSV or JSON for programs.
enum class ReportFormat
{
    Text,
    Csv,
    Json,
};
